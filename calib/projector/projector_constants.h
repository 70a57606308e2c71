// lumenrig's fixed settings, in one place: the camera and projector fits, the stereo fit,
// and how far outside its image a projected point may lie.
#pragma once

constexpr int kCalibrationIterations = 30;
constexpr int kStereoIterations = 1000;
constexpr float kStereoEpsilon = 1e-10f;  // a float constant: 1.00000001e-10 as a double

// Projected points are centres computed from corners and may sit a little beyond the
// edge: this share of the side is allowed.
constexpr double kOutsideMargin = 0.1;

// The camera matrix of lumenrig's own camera fit, written for a check by hand.
constexpr const char* kCameraMatrixCheckName = "check_cam0param.txt";
