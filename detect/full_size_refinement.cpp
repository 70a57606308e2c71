#include "full_size_refinement.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "subpixel_corners.h"

namespace {
// x_full = (x_work + 0.5) / scale - 0.5.
cv::Point2d toFullSize(cv::Point2d p, double scale) {
    return (p + cv::Point2d(0.5, 0.5)) / scale - cv::Point2d(0.5, 0.5);
}
}  // namespace

cv::Mat workImage(const cv::Mat& photo, double scale) {
    if (scale >= 1.0 || photo.empty()) return photo;
    cv::Mat reduced;
    cv::resize(photo, reduced,
               cv::Size(static_cast<int>(std::lround(photo.cols * scale)),
                        static_cast<int>(std::lround(photo.rows * scale))),
               0, 0, cv::INTER_AREA);
    return reduced;
}

ImageResult atFullSize(ImageResult result, double scale) {
    for (cv::Point2f& p : result.points2d) p = cv::Point2f(toFullSize(p, scale));
    return result;
}

void refineAtFullSize(int n, const cv::Mat& photo, double scale, ImageResult* result,
                      DropLog* log) {
    if (photo.empty()) {
        *result = ImageResult();
        return;
    }
    cv::Mat grey;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    ImageResult full;
    for (std::size_t j = 0; j < result->ids.size(); ++j) {
        cv::Point2d start[4], refined[4];
        for (int p = 0; p < 4; ++p) start[p] = toFullSize(result->points2d[4 * j + p], scale);
        const Refinement r = refineMarkerCornersChecked(grey, start, refined);
        if (r == Refinement::kDamaged) {
            logDamagedMarker(n, result->ids[j], log);
            continue;
        }
        appendMarker(*result, j, &full);
        for (int p = 0; p < 4; ++p)
            full.points2d[full.points2d.size() - 4 + p] =
                cv::Point2f(r == Refinement::kRefined ? refined[p] : start[p]);
    }
    *result = full;
}
