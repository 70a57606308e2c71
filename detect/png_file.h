// PNG files of 8-bit images written by the toolkit's own encoder (the "Paeth" filter, then
// deflate blocks of Huffman-coded bytes and zero runs): the same pixels as OpenCV's encoder
// gives, in a small part of its time (encoding the run's images took longer than searching
// the photos).
#pragma once

#include <cstddef>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

// A PNG file in memory.
struct PngBytes {
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;  // 0: the image was of a kind writeFastPng does not take
};

// The file writeFastPng writes for image.
PngBytes fastPngBytes(const cv::Mat& image);

// Writes the file's bytes at path; false when it cannot be written.
bool writePngBytes(const std::string& path, const PngBytes& png);

// Writes image (8-bit, 1 or 3 channels, BGR order) as a PNG file at path. Returns false
// when the file cannot be written or the image is of another kind (nothing is then
// written).
bool writeFastPng(const std::string& path, const cv::Mat& image);

// Whether writePng takes image for path to writeFastPng.
bool takesPath(const std::string& path, const cv::Mat& image);

// writeFastPng for images it takes and paths ending in ".png", cv::imwrite otherwise.
bool writePng(const std::string& path, const cv::Mat& image);
