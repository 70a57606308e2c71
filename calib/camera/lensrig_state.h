// The record lensrig's stages hand on: the arguments, the correspondences, the fit and
// the files that could not be written.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "lensrig_run.h"
#include "point_files.h"

struct LensrigState {
    LensrigArgs args;
    Correspondences data;
    std::vector<cv::Mat> images;
    cv::Size imageSize;
    cv::Mat cameraMatrix, distortion;
    std::vector<cv::Mat> rotations, translations;
    double calibrationError = 0.0;
    cv::Mat stdDeviations;  // of fx fy cx cy and the distortion coefficients
    int totalPoints = 0;
    std::vector<double> perViewRms;
    std::vector<std::string> unwritten;
};
