// Byte-level helpers of the tests that compare the toolkit's image readers and warp with OpenCV's.
#pragma once

#include <fstream>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

// How many bytes of a and b differ; -1 when their sizes or types differ.
inline int differingBytes(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return -1;
    return a.empty() ? 0 : cv::countNonZero(cv::Mat(a != b).reshape(1));
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}
