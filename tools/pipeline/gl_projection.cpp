#include "gl_projection.h"

cv::Matx44d glProjection(const cv::Mat& k, cv::Size size, double n, double f) {
    const double fx = k.at<double>(0, 0), fy = k.at<double>(1, 1);
    const double cx = k.at<double>(0, 2) + 0.5, cy = k.at<double>(1, 2) + 0.5;
    const double w = size.width, h = size.height;
    // No skew: OpenCV's calibrations and projections have none.
    return cv::Matx44d(2 * fx / w, 0, 1 - 2 * cx / w, 0,                //
                       0, 2 * fy / h, 2 * cy / h - 1, 0,                //
                       0, 0, -(f + n) / (f - n), -2 * f * n / (f - n),  //
                       0, 0, -1, 0);
}
