// Where camera pixels fall on the board: the ray of a pinhole camera met with the board
// plane of a pose. lumenrig builds the projector's object points with it; rigflow uses it
// to follow projected markers into the projector.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

// The board points (board coordinates, z = 0 up to rounding) that pixels show through the
// pinhole camera k (fx, fy, cx, cy) in the pose rvec, tvec (board to camera). A ray that
// runs parallel to the board gives a point that is not finite.
std::vector<cv::Point3f> boardPointsSeen(const std::vector<cv::Point2f>& pixels, const cv::Mat& k,
                                         const cv::Mat& rvec, const cv::Mat& tvec);
