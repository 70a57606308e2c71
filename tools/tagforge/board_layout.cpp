#include "board_layout.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMaxProjectedSide = 90;
constexpr int kMinProjectedSide = 16;
constexpr int kWhitePatch = 100;  // side of the patch that covers a found pattern marker
constexpr double kGapRatio = 0.375;
constexpr int kMinMargin = 8;
}  // namespace

double layoutWidth(const MarkerLayout& l) {
    return kMarkColumns * l.markSize + (kMarkColumns - 1) * l.spaceX;
}

double layoutHeight(const MarkerLayout& l) {
    return kMarkRows * l.markSize + (kMarkRows - 1) * l.spaceY;
}

int markerIdAt(const MarkerLayout& l, int column, int row) {
    const int index = column * kMarkRows + row;
    return l.rotation ? l.patternCount - 1 - index : index;
}

void markerOrigin(const MarkerLayout& l, int column, int row, double* x, double* y) {
    *x = column * (l.markSize + l.spaceX);
    *y = row * (l.markSize + l.spaceY);
}

bool markerAt(const MarkerLayout& l, double x, double y, int* id, double* u, double* v) {
    if (x < 0 || y < 0) return false;
    const double pitchX = l.markSize + l.spaceX, pitchY = l.markSize + l.spaceY;
    const int column = static_cast<int>(x / pitchX), row = static_cast<int>(y / pitchY);
    if (column >= kMarkColumns || row >= kMarkRows) return false;
    const double fx = x - column * pitchX, fy = y - row * pitchY;
    if (fx >= l.markSize || fy >= l.markSize) return false;
    *id = markerIdAt(l, column, row);
    *u = fx / l.markSize;
    *v = fy / l.markSize;
    return true;
}

namespace {
// The layout for a marker side and the image size it needs with its margins.
MarkerLayout projectedLayout(int side, int patternCount, int* needWidth, int* needHeight) {
    // The patch reaches kWhitePatch pixels right of and below the top-left corner; the
    // next marker must start beyond it.
    const int gap = std::max(static_cast<int>(std::ceil(kGapRatio * side)), kWhitePatch + 2 - side);
    const int margin = std::max(kMinMargin, side / 4);
    const MarkerLayout l{static_cast<double>(side), static_cast<double>(gap),
                         static_cast<double>(gap), false, patternCount};
    *needWidth = static_cast<int>(std::ceil(layoutWidth(l))) + 2 * margin;
    *needHeight = static_cast<int>(std::ceil(layoutHeight(l))) + 2 * margin;
    return l;
}
}  // namespace

bool projectionLayout(int width, int height, int patternCount, MarkerLayout* layout,
                      double* offsetX, double* offsetY) {
    for (int side = kMaxProjectedSide; side >= kMinProjectedSide; --side) {
        int needW = 0, needH = 0;
        const MarkerLayout l = projectedLayout(side, patternCount, &needW, &needH);
        if (needW > width || needH > height) continue;
        *layout = l;
        *offsetX = std::floor((width - layoutWidth(l)) / 2);
        *offsetY = std::floor((height - layoutHeight(l)) / 2);
        return true;
    }
    return false;
}

void smallestProjectionSize(int patternCount, int* width, int* height) {
    *width = *height = 0;
    for (int side = kMinProjectedSide; side <= kMaxProjectedSide; ++side) {
        int w = 0, h = 0;
        projectedLayout(side, patternCount, &w, &h);
        if (*width == 0 || static_cast<double>(w) * h < static_cast<double>(*width) * *height) {
            *width = w;
            *height = h;
        }
    }
}
