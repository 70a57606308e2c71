#include "forge_outputs.h"

#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera_param.h"
#include "render.h"

namespace {
constexpr double kMmPerInch = 25.4;
constexpr double kBoardMarginMm = 20.0;
constexpr double kScaleBarMm = 100.0;

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
        char name[32];
        std::snprintf(name, sizeof name, "/pat.%02d", i);
        if (!writePatternFile(dir + name, (*pictures)[i])) {
            *error = "cannot write " + dir + name;
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
    const double pxPerMm = dpi / kMmPerInch;
    const double bottomMm = kBoardMarginMm + 15.0;  // room for the scale note
    const int width =
        static_cast<int>(std::lround((layoutWidth(layoutMm) + 2 * kBoardMarginMm) * pxPerMm));
    const int height = static_cast<int>(
        std::lround((layoutHeight(layoutMm) + kBoardMarginMm + bottomMm) * pxPerMm));
    cv::Mat board =
        renderSupersampled(cv::Size(width, height), 2, [&](double x, double y, float bgr[3]) {
            colourAtLayout(pictures, layoutMm, (x + 0.5) / pxPerMm - kBoardMarginMm,
                           (y + 0.5) / pxPerMm - kBoardMarginMm, bgr);
        });
    const int barY = static_cast<int>((layoutHeight(layoutMm) + kBoardMarginMm + 8.0) * pxPerMm);
    const int barX = static_cast<int>(kBoardMarginMm * pxPerMm);
    cv::rectangle(board, cv::Point(barX, barY),
                  cv::Point(barX + static_cast<int>(std::lround(kScaleBarMm * pxPerMm)) - 1,
                            barY + static_cast<int>(1.0 * pxPerMm)),
                  cv::Scalar(0, 0, 0), cv::FILLED);
    char note[256];
    std::snprintf(
        note, sizeof note,
        "Print at 100 %%, %.0f dpi: the bar is %.0f mm, markers %.1f mm, gaps %.1f x %.1f mm", dpi,
        kScaleBarMm, layoutMm.markSize, layoutMm.spaceX, layoutMm.spaceY);
    cv::putText(board, note, cv::Point(barX, barY + static_cast<int>(6.0 * pxPerMm)),
                cv::FONT_HERSHEY_SIMPLEX, std::max(0.4, pxPerMm * 0.12), cv::Scalar(0, 0, 0),
                std::max(1, static_cast<int>(pxPerMm * 0.2)), cv::LINE_AA);
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
