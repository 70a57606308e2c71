#include "view_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace {
// Below this ratio of the smaller principal spread to the larger, points lie on a line.
constexpr double kCollinearRatio = 1e-3;
// Points whose spread is below this (pixels or board units) are all at one spot.
constexpr double kSameSpot = 1e-6;
// Board points further than this from z = 0 make the library refuse the board as non-planar.
constexpr double kBoardZ = 1e-6;

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
    // The fit starts from a flat board at z = 0 and takes no other plane (not even a
    // constant z), to within what a written file holds.
    for (const cv::Point3f& p : boardPoints)
        if (!(std::fabs(p.z) <= kBoardZ))
            return "the board points do not all have z = 0 (a flat board lies in z = 0)";
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

std::string pointOutsideReason(const std::vector<cv::Point2f>& points, cv::Size size,
                               double margin) {
    const double mx = 0.5 + margin * size.width, my = 0.5 + margin * size.height;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const cv::Point2f& p = points[i];
        if (p.x >= -mx && p.y >= -my && p.x <= size.width - 1 + mx && p.y <= size.height - 1 + my)
            continue;
        std::ostringstream text;
        text << "point " << i + 1 << " (" << p.x << ", " << p.y << ") lies outside the "
             << size.width << " x " << size.height << " image";
        return text.str();
    }
    return "";
}

std::string sizeFarLargerReason(const std::vector<std::vector<cv::Point2f>>& views, cv::Size size) {
    std::vector<cv::Point2f> all;
    for (const auto& v : views) all.insert(all.end(), v.begin(), v.end());
    if (all.empty()) return "";
    cv::Point2f low = all[0], high = all[0];
    for (const cv::Point2f& p : all) {
        low = cv::Point2f(std::min(low.x, p.x), std::min(low.y, p.y));
        high = cv::Point2f(std::max(high.x, p.x), std::max(high.y, p.y));
    }
    const cv::Size2f box(high.x - low.x, high.y - low.y);
    if (box.width * kMaxSizeOverExtent >= size.width ||
        box.height * kMaxSizeOverExtent >= size.height)
        return "";
    std::ostringstream text;
    text << "the points of all views span only " << std::lround(box.width) << " x "
         << std::lround(box.height) << " px of the " << size.width << " x " << size.height
         << " image: it is not the size they were found at";
    return text.str();
}

std::string unusableFitReason(const cv::Mat& k) {
    const double fx = k.at<double>(0, 0), fy = k.at<double>(1, 1);
    if (std::isfinite(fx) && std::isfinite(fy) && fx > 0 && fy > 0) return "";
    std::ostringstream text;
    text << "the fit gives the focal lengths fx " << fx << " and fy " << fy
         << ", which no lens has";
    return text.str();
}
