#include "board_plane.h"

#include <opencv2/calib3d.hpp>

std::vector<cv::Point3f> boardPointsSeen(const std::vector<cv::Point2f>& pixels, const cv::Mat& k,
                                         const cv::Mat& rvec, const cv::Mat& tvec) {
    cv::Mat r(3, 3, CV_64F), rt(3, 3, CV_64F), m(3, 1, CV_64F), x(3, 1, CV_64F);
    const double fx = k.at<double>(0, 0), cx = k.at<double>(0, 2);
    const double fy = k.at<double>(1, 1), cy = k.at<double>(1, 2);
    cv::Rodrigues(rvec, r);
    cv::transpose(r, rt);
    // The board normal in camera coordinates, and the board origin.
    const double n[3] = {rt.at<double>(2, 0), rt.at<double>(2, 1), rt.at<double>(2, 2)};
    const double t[3] = {tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2)};
    std::vector<cv::Point3f> points;
    for (const cv::Point2f& pixel : pixels) {
        const double u = pixel.x, v = pixel.y;
        const double xn = (u - cx) / fx, yn = (v - cy) / fy;
        const double s = (n[0] * t[0] + n[1] * t[1] + n[2] * t[2]) / (n[0] * xn + n[1] * yn + n[2]);
        m.at<double>(0) = s * xn - t[0];
        m.at<double>(1) = s * yn - t[1];
        m.at<double>(2) = s - t[2];
        x = rt * m;
        points.emplace_back(static_cast<float>(x.at<double>(0)),
                            static_cast<float>(x.at<double>(1)),
                            static_cast<float>(x.at<double>(2)));
    }
    return points;
}
