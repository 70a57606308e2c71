// lensrig's fitting stage: the photos, the checks of views and image size before any
// calibration, the calibration itself and its reprojection errors.
#pragma once

#include <cstddef>
#include <vector>

#include "lensrig_state.h"

// Reads the photos (none with kNoPhotos) and settles the image size; throws PointFileError.
void loadImages(LensrigState* s);
// Views that would end in a library assertion or a fit that only looks like one: named
// with the fix, before any calibration. Throws PointFileError.
void checkViews(const LensrigState& s);
// The image size (given or from the first photo) must be the one the points were found at.
void checkImageSize(const LensrigState& s);
// Fits the camera with the chosen lens model; prints the error and the matrix.
void calibrate(LensrigState* s);
// View k's board points through the fitted camera.
std::vector<cv::Point2f> reproject(const LensrigState& s, std::size_t k);
// Running RMS error over the views so far; the last line covers every point.
void computeErrors(LensrigState* s);
