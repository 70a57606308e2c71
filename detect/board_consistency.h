// The check that every accepted marker agrees with the board: its corners must lie where
// the other markers of the same photo place its id. A marker identified at a wrong place
// (a look-alike in the background, a misread id, a second printout) or with corners pulled
// by an occluder would otherwise pair wrong 2D and 3D points silently.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// Fewer accepted markers than this cannot be checked robustly; they are kept as detected.
constexpr int kMinMarkersForBoardCheck = 6;
// Largest disagreement accepted: the specified corners carry about 1.5 px of detection
// error plus the truncation; refined corners are far closer.
constexpr double kBoardToleranceSpecifiedPx = 5.0;
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

// Radial distortion around a centre, radius in units of scale (half the image diagonal).
// Fitted to a photo's markers, it takes the bulk of a real lens's bending out of the local
// mappings, and tells how the lens bends a marker's straight edges.
struct RadialLens {
    cv::Point2d centre;
    double scale = 1, k1 = 0, k2 = 0, k3 = 0;
    double factor(cv::Point2d u) const {
        const cv::Point2d d = (u - centre) / scale;
        const double r2 = d.dot(d);
        return 1 + r2 * (k1 + r2 * (k2 + r2 * k3));
    }
    cv::Point2d distort(cv::Point2d u) const { return centre + factor(u) * (u - centre); }
    cv::Point2d undistort(cv::Point2d p) const {
        cv::Point2d u = p;
        for (int k = 0; k < 20; ++k) u = centre + (p - centre) / factor(u);
        return u;
    }
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

// Where the diagonals of a quadrilateral (corners in cyclic order) cross: the image of
// the centre under any homography. The mean of the corners when they do not cross.
cv::Point2d diagonalCrossing(const cv::Point2d c[4]);

// The same for a quadrilateral seen through a lens: the crossing of the straight diagonals
// of its undistorted corners, distorted back (the image of the centre, which the crossing of
// the bent quad's own diagonals misses by the lens's curvature).
cv::Point2d diagonalCrossing(const RadialLens& lens, const cv::Point2d c[4]);
