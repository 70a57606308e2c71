// The check that every accepted marker agrees with the board: its corners must lie where
// the other markers of the same photo place its id. A marker identified at a wrong place
// (a look-alike in the background, a misread id, a second printout) or with corners pulled
// by an occluder would otherwise pair wrong 2D and 3D points silently.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "quad_centre.h"
#include "radial_lens_fit.h"

// Fewer accepted markers than this cannot be checked robustly; they are kept as detected.
constexpr int kMinMarkersForBoardCheck = 6;
// Largest disagreement accepted: the default whole-pixel corners carry about 1.5 px of detection
// error plus the truncation; refined corners are far closer.
constexpr double kBoardToleranceDefaultPx = 5.0;
constexpr double kBoardToleranceSubpixelPx = 1.0;
// Large markers (close-ups of high-resolution photos) are predicted less exactly by their
// neighbours under lens distortion: the tolerance is at least this share of their side.
constexpr double kBoardToleranceShareOfSide = 0.01;

// One accepted marker: its corners in the photo and the same corners in the reference
// frame (board coordinates, or the projected pattern image's pixels).
struct MarkerPlacement {
    int id = -1;
    cv::Point2d image[4];
    cv::Point2d reference[4];
};

struct DroppedMarker {
    int index;         // into the checked list
    double error;      // px between the detected corners and where the board puts them
    double tolerance;  // px allowed in this photo
};

// Fits the reference-to-photo mapping robustly (a homography of all markers to find the
// consensus, a radial lens distortion with its centre fitted to it, then, for each marker,
// a homography of its nearest consistent neighbours with an affine correction for what the
// lens leaves) and returns the markers whose corners lie more than tolerancePx from their
// predicted places (or kBoardToleranceShareOfSide of the marker side, or three times the
// median disagreement, when larger: a shared error is not a wrong marker), worst first.
// *checked is false (nothing dropped) when there are too few markers for a robust fit.
// photo: the size of the photo the corners are in (the lens's centre starts at its centre).
// fitted, when given and *checked, receives the radial lens fitted to the markers.
std::vector<DroppedMarker> findInconsistentMarkers(const std::vector<MarkerPlacement>& markers,
                                                   double tolerancePx, cv::Size photo,
                                                   bool* checked, RadialLens* fitted = nullptr);

// The radial lens findInconsistentMarkers fits to the markers (the same for the same
// markers), without checking them. Returns 0, or -1 when there are too few for a robust fit.
int fitBoardLens(const std::vector<MarkerPlacement>& markers, cv::Size photo, RadialLens* lens);
