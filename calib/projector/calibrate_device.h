// The device and stereo calibrations of lumenrig, and its output files.
#pragma once

#include <string>
#include <vector>

#include "calib_data.h"
#include "lens_model_kind.h"

// Calibrates one device from its object and image points with the lens model (none or
// standard: lumenrig does not fit the rational one). Prints the RMS error, the matrix and
// k1 k2 p1.
void calibrateDevice(CalibData* device, LensModel model);

// Stereo calibration with fixed intrinsics: fills camera->stereoR, T, E, F (camera to
// projector) from the projector's object points, its camera-pixel and projector-pixel points.
void stereoCalibrateDevices(CalibData* camera, const CalibData& projector);

// Output files. Each appends the name to *unwritten when it cannot be written.
void writeMatrixFile(const cv::Mat& m, const std::string& name,
                     std::vector<std::string>* unwritten);
void writeValuesLine(const cv::Mat& values, int count, const std::string& name,
                     std::vector<std::string>* unwritten);
