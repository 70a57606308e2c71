#include <algorithm>

#include "identify_marker.h"

namespace {
// The marker as a 10 x 10 reference square: corner 0 at (100, 100), 1 at (110, 100),
// 2 at (110, 110), 3 at (100, 110). The picture is the central 5 x 5 (102.5 .. 107.5);
// the band around it is the black border, a quarter of the side.
constexpr double kReferenceCorners[4][2] = {{100, 100}, {110, 100}, {110, 110}, {100, 110}};
constexpr double kPictureStart = 102.5;
constexpr double kPictureSide = 5.0;
constexpr int kMaxSamplesPerAxis = 64;

int squaredLength(const int corner[4][2], int i, int j) {
    const double dx = corner[i][0] - corner[j][0], dy = corner[i][1] - corner[j][1];
    return static_cast<int>(dx * dx + dy * dy);
}

// 16, 32 or 64 samples along an axis whose longer side is sqrt(4 * s) pixels.
int samplesPerAxis(int s) {
    int n = kPatternSide;
    if (s > kPatternSide * kPatternSide)
        while (n * n < s) n *= 2;
    return n > kMaxSamplesPerAxis ? kMaxSamplesPerAxis : n;
}
}  // namespace

int extractPattern(const unsigned char* image, int width, int height, const int corner[4][2],
                   std::uint8_t sample[kPatternValues]) {
    double points[4][2];
    for (int i = 0; i < 4; ++i) {
        points[i][0] = corner[i][0];
        points[i][1] = corner[i][1];
    }
    double h[3][3];
    if (solveHomography(kReferenceCorners, points, h) < 0) return -1;

    const int sx = std::max(squaredLength(corner, 0, 1), squaredLength(corner, 2, 3)) / 4;
    const int sy = std::max(squaredLength(corner, 1, 2), squaredLength(corner, 3, 0)) / 4;
    const int nx = samplesPerAxis(sx), ny = samplesPerAxis(sy);
    const int perCellX = nx / kPatternSide, perCellY = ny / kPatternSide;

    // The terms of one sampling column (and one row) are shared by the whole column (row):
    // worked out once, added in the order of the full expression, so the same values.
    double columnTerm[3][kMaxSamplesPerAxis];
    int columnCell[kMaxSamplesPerAxis];
    for (int i = 0; i < nx; ++i) {
        const double X = kPictureStart + (i + 0.5) * kPictureSide / nx;
        for (int r = 0; r < 3; ++r) columnTerm[r][i] = h[r][0] * X;
        columnCell[i] = (i / perCellX) * 3;
    }
    std::uint32_t sums[kPatternValues] = {};
    for (int j = 0; j < ny; ++j) {
        const double Y = kPictureStart + (j + 0.5) * kPictureSide / ny;
        const double rowTerm[3] = {h[0][1] * Y, h[1][1] * Y, h[2][1] * Y};
        std::uint32_t* rowCells = sums + (j / perCellY) * kPatternSide * 3;
        for (int i = 0; i < nx; ++i) {
            const double w = columnTerm[2][i] + rowTerm[2] + h[2][2];
            if (w == 0.0) return -1;
            const double uf = (columnTerm[0][i] + rowTerm[0] + h[0][2]) / w;
            const double vf = (columnTerm[1][i] + rowTerm[1] + h[1][2]) / w;
            // Outside the image (also NaN) adds nothing; test before converting to int.
            if (!(uf > -1.0 && uf < width && vf > -1.0 && vf < height)) continue;
            const int u = static_cast<int>(uf), v = static_cast<int>(vf);
            if (u < 0 || v < 0) continue;
            const unsigned char* pixel = image + (static_cast<std::size_t>(v) * width + u) * 4;
            std::uint32_t* cell = rowCells + columnCell[i];
            cell[0] += pixel[0];
            cell[1] += pixel[1];
            cell[2] += pixel[2];
        }
    }
    const std::uint32_t divisor = static_cast<std::uint32_t>(perCellX * perCellY);
    for (int k = 0; k < kPatternValues; ++k)
        sample[k] = static_cast<std::uint8_t>(sums[k] / divisor);
    return 0;
}
