// Whether a view can constrain a calibration: checked before the fit so that a degenerate
// or repeated view is named in words instead of ending in a library assertion.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// Fewer points than this cannot constrain a pose and a lens at once.
constexpr int kMinViewPoints = 10;

// "" when the view can constrain a calibration, else why not: too few points, sizes that
// differ, a point that is not finite, points all at one spot, points on one line, board
// points off one plane or off z = 0 (the board is flat and lies in z = 0).
std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point3f>& boardPoints);
// The same for a view between two images (camera pixels and projector pixels).
std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point2f>& otherPoints);
// "" when every number is listed once, else e.g. "view 3 is listed 6 times" (the first
// repeated number).
std::string duplicateViewReason(const std::vector<int>& numbers);

// At least this many usable views: fewer cannot separate the lens from the poses.
constexpr int kMinViews = 3;
// An image this many times wider and higher than all points together is not theirs.
constexpr double kMaxSizeOverExtent = 8.0;

// "" when every point lies inside an image of size (half a pixel of slack at the edges, and
// margin times the side beyond them), else the first point outside, e.g. "point 4 (700.5,
// 20) lies outside the 640 x 480 image".
std::string pointOutsideReason(const std::vector<cv::Point2f>& points, cv::Size size,
                               double margin = 0);
// "" unless the points of all views together span less than 1 / kMaxSizeOverExtent of the
// image in both directions, which means the size given is not the one they were seen at.
std::string sizeFarLargerReason(const std::vector<std::vector<cv::Point2f>>& views, cv::Size size);
// "" when the fitted camera matrix has finite, positive focal lengths, else the reason.
std::string unusableFitReason(const cv::Mat& cameraMatrix);
