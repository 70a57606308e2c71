// The rows of a PNG image as its IDAT data holds them before compression: each row its
// filter type byte, then the filtered bytes in PNG's channel order.
#pragma once

#include <cstddef>
#include <memory>
#include <opencv2/core.hpp>

// The rows of image (8-bit, 1 or 3 channels, BGR order, not empty) with the "Paeth"
// filter (type 4) in grey or RGB order. Paeth predicts from the pixels on the left, above
// and above left: on photos and drawings it leaves a tenth to two thirds fewer bits to code
// than "sub", which the Huffman-only deflate needs.
// The rows are *size bytes, (3 * cols + 1) * rows or (cols + 1) * rows.
std::unique_ptr<unsigned char[]> paethFilteredRows(const cv::Mat& image, std::size_t* size);
