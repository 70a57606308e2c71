#include "quad_centre.h"

#include <cmath>

namespace {
// Diagonals whose cross product is below this (px squared) are taken as parallel.
constexpr double kParallelDeterminant = 1e-12;
}  // namespace

cv::Point2d diagonalCrossing(const cv::Point2d c[4]) {
    const cv::Point2d d1 = c[2] - c[0], d2 = c[3] - c[1], w = c[1] - c[0];
    const double det = d1.x * d2.y - d1.y * d2.x;
    const cv::Point2d mean = 0.25 * (c[0] + c[1] + c[2] + c[3]);
    if (std::fabs(det) < kParallelDeterminant) return mean;
    const double s = (w.x * d2.y - w.y * d2.x) / det;  // along the diagonal 0 -> 2
    const double t = (w.x * d1.y - w.y * d1.x) / det;  // along the diagonal 1 -> 3
    if (s <= 0 || s >= 1 || t <= 0 || t >= 1) return mean;
    return c[0] + s * d1;
}

cv::Point2d diagonalCrossing(const RadialLens& lens, const cv::Point2d c[4]) {
    cv::Point2d u[4];
    for (int p = 0; p < 4; ++p) u[p] = lens.undistort(c[p]);
    return lens.distort(diagonalCrossing(u));
}
