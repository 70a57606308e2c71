// The rows of a PNG image as its IDAT data holds them before compression: each row its
// filter type byte, then the filtered bytes in PNG's channel order.
#pragma once

#include <cstddef>
#include <memory>
#include <opencv2/core.hpp>

// How many bytes a step of the filter takes: the widest the processor has (AVX2's 32,
// SSE2's 16), or fewer (the tests compare the three; the bytes are the same).
enum class FilterSteps { widest, sse2, plain };

// The rows of image (8-bit, 1 or 3 channels, BGR order, not empty) with the "Paeth"
// filter (type 4) in grey or RGB order, *size bytes ((channels * cols + 1) * rows). Paeth
// predicts from the pixels on the left, above and above left: on the run's images it leaves
// a tenth to over half fewer bytes to code than "sub" (edges that go on from row to row
// leave zeros), which a deflate without searched repeats needs.
std::unique_ptr<unsigned char[]> paethFilteredRows(const cv::Mat& image, std::size_t* size,
                                                   FilterSteps steps = FilterSteps::widest);
