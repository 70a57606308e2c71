// The record of one device (camera or projector) in lumenrig.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "point_files.h"

struct CalibData {
    std::string imagePattern;
    std::string pattern2d;  // camera: board corners in camera pixels; projector: pattern points
    std::string pattern3d;  // camera only: board coordinates
    std::string projOnCamPattern;  // projector only: projected corners in camera pixels
    std::string trueNumName;
    std::string matrixName, distortionName;
    std::string stereoRName, stereoTName, fundamentalName;  // camera record only
    int width = 0, height = 0;                              // device resolution
    std::vector<int> trueNum;
    std::vector<PointList2> imagePoints;
    std::vector<PointList2> projOnCamPoints;
    std::vector<PointList3> objectPoints;
    cv::Mat cameraMatrix, distortion;
    double rms = 0;         // root-mean-square reprojection error of the calibration
    cv::Mat stdDeviations;  // fx fy cx cy k1 k2 p1 p2 k3, one standard deviation each
    cv::Size stereoImageSize{0, 0};
    std::vector<cv::Mat> rotations, translations;
    cv::Mat stereoR, stereoT, stereoE, stereoF;  // camera record: camera -> projector
    double stereoRms = 0;
};
