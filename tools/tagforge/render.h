// Anti-aliased rendering by inverse mapping: every pixel averages n x n sub-samples (one
// at a deterministic random place in each cell of an n x n grid), each mapped back to the
// surface it shows. Integer coordinates are pixel centres (docs/conventions.md).
#pragma once

#include <functional>
#include <opencv2/core.hpp>

// colourAt(x, y, bgr) gives the colour of image point (x, y) as three floats 0..255.
using ColourAt = std::function<void(double x, double y, float bgr[3])>;

// Fills an 8-bit 3-channel image of the given size.
cv::Mat renderSupersampled(cv::Size size, int samplesPerAxis, const ColourAt& colourAt);

// Maps image point (x, y) through the 3 x 3 homography h (row-major doubles).
void applyHomography(const double h[3][3], double x, double y, double* u, double* v);

// Inverse of a 3 x 3 matrix (row-major); false when it is singular.
bool invert3x3(const double m[3][3], double inv[3][3]);
