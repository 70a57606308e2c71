// Plain JPEG photos decoded straight into BGR rows: the pixels cv::imread gives (the same
// library decodes them), without its copy that swaps the channels.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// Decodes name into bgr (CV_8UC3) and returns 0 when it is a plain colour JPEG: three
// YCbCr components, no EXIF block (whose orientation cv::imread applies), decoded without
// a warning. Returns -1 for anything else (other formats, damaged files, grey or CMYK
// photos), bgr then undefined: cv::imread is to read those, with its own handling.
int decodeJpegPhoto(const std::string& name, cv::Mat* bgr);
