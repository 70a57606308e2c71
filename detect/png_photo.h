// Plain PNG images decoded straight into BGR rows with libpng: the pixels cv::imread gives
// (the same library decodes them) for the kinds the toolkit's own files and generated scenes are.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// Decodes name into bgr (CV_8UC3) and returns 0 when it is a plain PNG: 8 bits a sample,
// grey, RGB or RGBA (alpha dropped, as cv::imread does for colour), not interlaced, no
// transparency or EXIF chunk, decoded without a warning. Returns -1 for anything else,
// silently, bgr then undefined: cv::imread is to read those, with its own handling.
int decodePngPhoto(const std::string& name, cv::Mat* bgr);
