// OpenCV's image codecs, loaded on first use: the library pulls in a hundred more (GDAL,
// DICOM, HDF5 …) whose loading took longer than a photo's whole detection, while most runs
// read only JPEG and PNG files the photo readers decode themselves.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// cv::imread(path, cv::IMREAD_COLOR); an empty image when the file cannot be read or the
// codecs cannot be loaded (said once on stderr, with the reason).
cv::Mat readImageWithOpenCv(const std::string& path);

// cv::imwrite(path, image); false when it fails or the codecs cannot be loaded.
bool writeImageWithOpenCv(const std::string& path, const cv::Mat& image);
