#include "local_mapping.h"

#include <algorithm>
#include <opencv2/core.hpp>

#include "linear_homography.h"

namespace {
// Affine: the global lens takes the bulk of the bending.
constexpr int kTerms = 3;
// Floor of the terms' scale: points all at the origin still give finite terms.
constexpr double kMinScale = 1e-9;

void terms(const LocalMapping& m, cv::Point2d q, double t[kTerms]) {
    const double u = (q.x - m.origin.x) / m.scale, v = (q.y - m.origin.y) / m.scale;
    const double all[kTerms] = {1, u, v};
    std::copy(all, all + kTerms, t);
}
}  // namespace

int fitLocalMapping(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                    cv::Point2d origin, LocalMapping* mapping) {
    LocalMapping& m = *mapping;
    if (fitLinearHomography(ref, image, &m.homography) != 0) return -1;
    std::vector<cv::Point2d> mapped;
    cv::perspectiveTransform(ref, mapped, m.homography);
    m.origin = origin;
    m.scale = kMinScale;
    for (const cv::Point2d& q : mapped) m.scale = std::max(m.scale, cv::norm(q - m.origin));
    cv::Mat a(static_cast<int>(ref.size()), kTerms, CV_64F),
        b(static_cast<int>(ref.size()), 2, CV_64F);
    for (int k = 0; k < a.rows; ++k) {
        terms(m, mapped[k], a.ptr<double>(k));
        b.at<double>(k, 0) = image[k].x - mapped[k].x;
        b.at<double>(k, 1) = image[k].y - mapped[k].y;
    }
    return cv::solve(a, b, m.correction, cv::DECOMP_SVD) ? 0 : -1;
}

cv::Point2d mapLocally(const LocalMapping& mapping, cv::Point2d ref) {
    std::vector<cv::Point2d> in{ref}, out;
    cv::perspectiveTransform(in, out, mapping.homography);
    double t[kTerms];
    terms(mapping, out[0], t);
    cv::Point2d d;
    for (int k = 0; k < kTerms; ++k) {
        d.x += t[k] * mapping.correction.at<double>(k, 0);
        d.y += t[k] * mapping.correction.at<double>(k, 1);
    }
    return out[0] + d;
}
