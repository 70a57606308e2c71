// The rectified view's warp: a BGR image seen through a homography, bilinear samples and a
// black border, byte for byte what cv::warpPerspective gives with INTER_LINEAR and
// BORDER_CONSTANT 0, in about a third of its instructions.
#pragma once

#include <opencv2/core.hpp>

// view(x, y) = src(H^-1 (x, y)) for the 3 x 3 homography srcToView (any float type). src
// CV_8UC3 takes the own path; other types, and sources of 32767 pixels or more a side
// (which it refuses), go to cv::warpPerspective. view is (re)allocated to size and src's
// type.
void warpLinear(const cv::Mat& src, const cv::Mat& srcToView, cv::Size size, cv::Mat* view);
