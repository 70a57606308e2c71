#include "forge_outputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "board_marks.h"
#include "camera_param_file.h"
#include "pattern_file.h"
#include "render.h"

namespace {
constexpr double kMmPerInch = 25.4;

void colourAtLayout(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layout,
                    double x, double y, float bgr[3]) {
    int id;
    double u, v;
    std::uint8_t c[3] = {255, 255, 255};
    if (markerAt(layout, x, y, &id, &u, &v) && id >= 0 && id < static_cast<int>(pictures.size()))
        markerColour(pictures[id], u, v, c);
    for (int k = 0; k < 3; ++k) bgr[k] = c[k];
}
}  // namespace

bool writePatternSet(const std::string& dir, int count, unsigned seed,
                     std::vector<MarkerPicture>* pictures, double* worst, std::string* error) {
    if (!designPictures(count, seed, kMaxPatternScore, pictures, worst)) {
        *error = "could not design " + std::to_string(count) + " distinct pictures";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const std::string name = patternFileName(dir, i);
        if (!writePatternFile(name, (*pictures)[i])) {
            *error = "cannot write " + name;
            return false;
        }
    }
    return true;
}

cv::Mat renderProjectionImage(const std::vector<MarkerPicture>& pictures, int width, int height,
                              const MarkerLayout& layout, double offsetX, double offsetY) {
    // Marker edges fall on pixel borders: pixel (i, j) shows layout point (i - x0, j - y0)
    // .. (i - x0 + 1, ...), so one sample at the pixel's centre is exact.
    return renderSupersampled(cv::Size(width, height), 1, [&](double x, double y, float bgr[3]) {
        colourAtLayout(pictures, layout, x + 0.5 - offsetX, y + 0.5 - offsetY, bgr);
    });
}

cv::Mat renderBoardImage(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layoutMm,
                         double dpi) {
    return renderBoardImage(pictures, layoutMm, pageAroundBoard(layoutMm), dpi);
}

cv::Mat renderBoardImage(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layoutMm,
                         const BoardPage& page, double dpi) {
    const double pxPerMm = dpi / kMmPerInch;
    const int width = static_cast<int>(std::lround(page.widthMm * pxPerMm));
    const int height = static_cast<int>(std::lround(page.heightMm * pxPerMm));
    cv::Mat board =
        renderSupersampled(cv::Size(width, height), 2, [&](double x, double y, float bgr[3]) {
            colourAtLayout(pictures, layoutMm, (x + 0.5) / pxPerMm - page.originXMm,
                           (y + 0.5) / pxPerMm - page.originYMm, bgr);
        });
    auto px = [&](cv::Point2d mm) {
        return cv::Point(static_cast<int>(std::lround(mm.x * pxPerMm)),
                         static_cast<int>(std::lround(mm.y * pxPerMm)));
    };
    const cv::Scalar black(0, 0, 0);
    for (const PageMark& m : boardMarks(layoutMm, page)) {
        if (m.kind == PageMark::kLine) {
            cv::line(board, px(m.points[0]), px(m.points[1]), black,
                     std::max(1, static_cast<int>(std::lround(m.sizeMm * pxPerMm))), cv::LINE_AA);
        } else if (m.kind == PageMark::kFilled) {
            std::vector<cv::Point> corners;
            for (const cv::Point2d& p : m.points) corners.push_back(px(p));
            cv::fillConvexPoly(board, corners, black, cv::LINE_AA);
        } else {
            // Capitals m.sizeMm high, narrowed when the line would leave the sheet.
            int base = 0;
            const cv::Size unit = cv::getTextSize(m.text, cv::FONT_HERSHEY_SIMPLEX, 1.0, 1, &base);
            const double room = width - px(m.points[0]).x - 5 * pxPerMm;
            const double scale =
                std::min(m.sizeMm * pxPerMm / unit.height, room / std::max(1, unit.width));
            cv::putText(board, m.text, px(m.points[0]), cv::FONT_HERSHEY_SIMPLEX, scale, black,
                        std::max(1, static_cast<int>(scale * 1.5)), cv::LINE_AA);
        }
    }
    return board;
}

bool writeIdentityCameraParamFile(const std::string& path, int width, int height) {
    const CameraParam p = identityCameraParams(width, height);
    return saveCameraParams(path.c_str(), 1, &p) == 0;
}

bool writeImage(const std::string& path, const cv::Mat& image) {
    try {
        return cv::imwrite(path, image);
    } catch (const cv::Exception&) {
        return false;
    }
}
