// Sub-pixel refinement of a marker's corners on the grey photo (the opt-in --subpixel
// mode of tagharvest): each edge is located across its width, a line is fitted to it
// and neighbouring lines are intersected.
#pragma once

#include <opencv2/core.hpp>

// Corners move by at most this much; a larger move means the refinement locked onto
// something else and the detected corners are kept.
constexpr double kMaxCornerShiftPx = 2.5;

// in: the detected corners in corner order (0 bottom right, 1 bottom left, 2 top left,
// 3 top right), each within about 1.5 px of the true one. grey: 8-bit single channel.
// Returns true with out filled, or false (out untouched) when an edge cannot be located
// or a corner would move by more than kMaxCornerShiftPx.
bool refineMarkerCorners(const cv::Mat& grey, const cv::Point2d in[4], cv::Point2d out[4]);
