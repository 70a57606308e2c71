// What a lens model (OpenCV's coefficient order k1 k2 p1 p2 [k3 [k4 k5 k6 [s1..s4 [tx ty]]]])
// does over an image: how well it reproduces a fit, whether it stays one-to-one, and
// whether its coefficients cancel each other.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// Root-mean-square distance over all points of all views between the image points and the
// board points projected with the views' poses through the camera.
double reprojectionRms(const std::vector<std::vector<cv::Point3f>>& board,
                       const std::vector<std::vector<cv::Point2f>>& image,
                       const std::vector<cv::Mat>& rvecs, const std::vector<cv::Mat>& tvecs,
                       const cv::Mat& cameraMatrix, const cv::Mat& distortion);

// A lens read back from its files reproduces the fit when its error exceeds the fitted
// one by at most 1 % + 0.01 px.
bool reproducesFit(double rereadRms, double fittedRms);

struct LensCondition {
    bool ok = true;
    std::string reason;  // why not, in words for the user
    // Where the model holds, in normalised (distorted) radius from the principal point: it is
    // one-to-one and well-conditioned up to validRadius; wholeImage when that reaches the
    // image corners (plus the margin). limit says what ends it otherwise.
    double validRadius = 0;
    bool wholeImage = true;
    std::string limit;
    double dataRadius = 0;  // the farthest observed point (0: not given)
};

// Checks the radial factor (1 + k1 r^2 + k2 r^4 + k3 r^6) / (1 + k4 r^2 + k5 r^4 + k6 r^6)
// from the centre out to the farthest image corner plus margin (a fraction of that
// radius): the radial mapping r -> r * factor must rise strictly, the denominator stay
// well away from zero, the terms of numerator and denominator must not cancel, and the two
// must share no root near the image (a pole cancelled by a zero: a plain lens written with
// large coefficients that only agree with each other to many digits).
// With dataRadius > 0 (the farthest observed point's normalised radius) a fold, a collapsing
// denominator or cancelling terms beyond dataRadius * (1 + dataMargin) only limit validRadius:
// a fitted polynomial often turns over just past the data, where nothing is measured.
LensCondition lensCondition(const cv::Mat& cameraMatrix, const cv::Mat& distortion,
                            cv::Size imageSize, double margin = 0.1, double dataRadius = 0,
                            double dataMargin = 0.05);

// The largest normalised radius of the image points about the principal point.
double normalisedReach(const std::vector<cv::Point2f>& imagePoints, const cv::Mat& cameraMatrix);

// The distortion of a normalised point (x, y) -> (x', y'), and the determinant of its
// Jacobian there: positive where the model is locally one-to-one, zero or negative where
// it folds.
cv::Point2d distortNormalised(cv::Point2d p, const cv::Mat& distortion);
double distortionJacobian(cv::Point2d p, const cv::Mat& distortion);
