// PNG files of 8-bit images written by the toolkit's own encoder (the "Paeth" filter, then
// deflate blocks of Huffman-coded bytes and zero runs): the same pixels as OpenCV's encoder
// gives, in a small part of its time (encoding the run's images took longer than searching
// the photos).
#pragma once

#include <opencv2/core.hpp>
#include <string>

// Writes image (8-bit, 1 or 3 channels, BGR order) as a PNG file at path. Returns false
// when the file cannot be written or the image is of another kind (nothing is then
// written).
bool writeFastPng(const std::string& path, const cv::Mat& image);

// writeFastPng for images it takes and paths ending in ".png", cv::imwrite otherwise.
bool writePng(const std::string& path, const cv::Mat& image);
