// The least-squares homography of many point pairs by plain linear algebra: cheap enough to
// fit for every marker of every photo, where a robust estimator is not needed.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Fits h (3 x 3, CV_64F) taking from[i] to to[i], solved with h33 = 1 on
// coordinates centred and scaled for conditioning. Returns 0, or -1 when the pairs cannot
// determine one (different counts, fewer than four, all at one point, on a line).
int fitLinearHomography(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to,
                        cv::Mat* h);
