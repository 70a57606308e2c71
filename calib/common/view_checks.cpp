#include "view_checks.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {
// Below this ratio of the smaller principal spread to the larger, points lie on a line.
constexpr double kCollinearRatio = 1e-3;
// Points whose spread is below this (pixels or board units) are all at one spot.
constexpr double kSameSpot = 1e-6;

// Principal spreads (square roots of the covariance eigenvalues, largest first) of points.
template <typename P, int N>
cv::Vec<double, N> principalSpreads(const std::vector<P>& points) {
    cv::Mat data(static_cast<int>(points.size()), N, CV_64F);
    for (int i = 0; i < data.rows; ++i) {
        data.at<double>(i, 0) = points[i].x;
        data.at<double>(i, 1) = points[i].y;
        if constexpr (N == 3) data.at<double>(i, 2) = points[i].z;
    }
    cv::Mat covariance, mean;
    cv::calcCovarMatrix(data, covariance, mean, cv::COVAR_NORMAL | cv::COVAR_ROWS | cv::COVAR_SCALE,
                        CV_64F);
    cv::Mat values;
    cv::eigen(covariance, values);
    cv::Vec<double, N> spreads;
    for (int i = 0; i < N; ++i) spreads[i] = std::sqrt(std::max(0.0, values.at<double>(i)));
    return spreads;
}

bool finite2(const cv::Point2f& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}
bool finite3(const cv::Point3f& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// "" or why the 2D points cannot constrain a view; `what` names them.
std::string flatReason(const std::vector<cv::Point2f>& points, const std::string& what) {
    if (!std::all_of(points.begin(), points.end(), finite2))
        return "an " + what + " point is not a finite number";
    const cv::Vec2d s = principalSpreads<cv::Point2f, 2>(points);
    if (s[0] <= kSameSpot) return "the " + what + " points all lie at one spot";
    if (s[1] <= kCollinearRatio * s[0]) return "the " + what + " points lie on one line";
    return "";
}

std::string countReason(std::size_t a, std::size_t b, const std::string& other) {
    if (a != b)
        return std::to_string(a) + " image points but " + std::to_string(b) + " " + other +
               " points";
    if (a < static_cast<std::size_t>(kMinViewPoints))
        return "only " + std::to_string(a) + " points (at least " + std::to_string(kMinViewPoints) +
               " are needed)";
    return "";
}
}  // namespace

std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point3f>& boardPoints) {
    std::string reason = countReason(imagePoints.size(), boardPoints.size(), "board");
    if (reason.empty()) reason = flatReason(imagePoints, "image");
    if (!reason.empty()) return reason;
    if (!std::all_of(boardPoints.begin(), boardPoints.end(), finite3))
        return "a board point is not a finite number";
    const cv::Vec3d s = principalSpreads<cv::Point3f, 3>(boardPoints);
    if (s[0] <= kSameSpot) return "the board points all lie at one spot";
    if (s[2] > kCollinearRatio * s[0]) return "the board points are not on one plane";
    if (s[1] <= kCollinearRatio * s[0]) return "the board points lie on one line";
    const auto [lowest, highest] =
        std::minmax_element(boardPoints.begin(), boardPoints.end(),
                            [](const cv::Point3f& a, const cv::Point3f& b) { return a.z < b.z; });
    if (highest->z - lowest->z > kCollinearRatio * s[0])
        return "the board points do not share one z (a flat board has one z for every point)";
    return "";
}

std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point2f>& otherPoints) {
    std::string reason = countReason(imagePoints.size(), otherPoints.size(), "projector");
    if (reason.empty()) reason = flatReason(imagePoints, "image");
    if (reason.empty()) reason = flatReason(otherPoints, "projector");
    return reason;
}

std::string duplicateViewReason(const std::vector<int>& numbers) {
    std::map<int, int> times;
    for (int n : numbers) ++times[n];
    for (int n : numbers)
        if (times[n] > 1)
            return "view " + std::to_string(n) + " is listed " + std::to_string(times[n]) +
                   " times";
    return "";
}
