// Image helpers for the engine tests.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// Packed 4-byte-per-pixel image (blue, green, red, alpha) of a character drawing:
// '#' is black, anything else white. All rows must have the same length.
struct PackedImage {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
};
PackedImage packedFromDrawing(const std::vector<std::string>& rows);

// Packed copy of an 8-bit BGR image.
PackedImage packedFromMat(const cv::Mat& bgr);

// Installs identity camera parameters (no distortion) for a width x height image.
void installIdentityCamera(int width, int height);
