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
// points that do not share one z (the board is flat).
std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point3f>& boardPoints);
// The same for a view between two images (camera pixels and projector pixels).
std::string unusableViewReason(const std::vector<cv::Point2f>& imagePoints,
                               const std::vector<cv::Point2f>& otherPoints);
// "" when every number is listed once, else e.g. "view 3 is listed 6 times" (the first
// repeated number).
std::string duplicateViewReason(const std::vector<int>& numbers);
