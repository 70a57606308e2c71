// Sub-pixel refinement of a marker's corners on the grey photo (the opt-in --subpixel
// mode of tagharvest): each edge is located across its width, a line is fitted to it
// and neighbouring lines are intersected.
#pragma once

#include <opencv2/core.hpp>

// Corners move by at most this much, or this share of the marker's shortest side when
// larger; a larger move means the refinement locked onto something else.
constexpr double kMaxCornerShiftPx = 2.5;
constexpr double kMaxCornerShiftShare = 0.1;
// A corner that moved further than this is refined once more from where it landed.
constexpr double kRecentreShiftPx = 2.0;

// An edge is straight along its whole length when at most this share of its samples
// cannot be located or lies off the fitted line; more means something crosses it.
constexpr double kMaxBrokenEdgeShare = 0.12;
constexpr double kMaxEdgeResidualPx = 0.6;

enum class Refinement {
    kRefined,   // out holds the refined corners
    kTooSmall,  // the marker is too small to refine; the detected corners stand
    kDamaged,   // an edge is broken or bent (an occluder, a damaged print), or a corner
                // would move by more than kMaxCornerShiftPx: the corners cannot be trusted
};

// in: the detected corners in corner order (docs/conventions.md), each within about
// 1.5 px of the true one. grey: 8-bit single channel.
// out is written only for kRefined.
Refinement refineMarkerCornersChecked(const cv::Mat& grey, const cv::Point2d in[4],
                                      cv::Point2d out[4]);

// True with out filled when the refinement succeeds.
bool refineMarkerCorners(const cv::Mat& grey, const cv::Point2d in[4], cv::Point2d out[4]);

struct RadialLens;

// Lens distortion bends a marker's straight edges; the lines fitted to their middle part
// then cross off the true corners (by some hundredths of a pixel, outwards from the image
// centre under barrel distortion, the same way in every photo). Moves refined corners (in
// corner order) by the difference between the corners of the straight edges and the
// crossings of the lines the refinement fits to the edges as lens bends them.
void unbendCorners(const RadialLens& lens, cv::Point2d corners[4]);
