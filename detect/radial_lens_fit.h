// A radial lens distortion fitted to the points of a plane seen in one photo: the bulk of a
// real lens's bending, found without knowing the camera.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Fixed-point steps of RadialLens::undistort: each gains about a factor |1 - factor| on the
// error, far below a micropixel within the half diagonal for the distortions fitted here.
constexpr int kUndistortSteps = 20;

// Fewest point pairs a lens is fitted to: the joint refinement has 13 unknowns (homography
// and lens), which 7 pairs (14 residuals) just determine.
constexpr int kMinLensPairs = 7;

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
        for (int k = 0; k < kUndistortSteps; ++k) u = centre + (p - centre) / factor(u);
        return u;
    }
};

// The lens without distortion, centred on the photo: what a fit starts from and falls back to.
RadialLens neutralLens(cv::Size photo);

// Fits the lens that, with a homography, takes plane points ref to their photo points image:
// first alternating the homography of the undistorted points with k1 and k2, then all terms,
// k3 and the centre included, by Levenberg-Marquardt; fitted twice, the second time without
// the pairs the first fit leaves far off. A fit that runs away (a board covering little of the
// photo leaves the centre and the higher terms loose) gives way to the simpler one.
// Returns 0 with *lens, or -1 with *lens neutral when the pairs cannot determine a lens
// (different counts, fewer than kMinLensPairs, all on one line, an empty photo).
int fitRadialLens(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                  cv::Size photo, RadialLens* lens);
