// The pipeline's results in forms other tools read: OpenCV YAML files and per-view
// reprojection-error charts.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct DeviceResult {
    cv::Size size;
    cv::Mat cameraMatrix, distortion;
    double rms = 0;                                          // as the calibration returned it
    std::vector<int> imageNumbers;                           // views, in order
    std::vector<double> perViewRms;                          // per view, pixels
    std::string model;                                       // lens model: none, standard, rational
    std::string modelReason;                                 // why that model
    std::vector<std::pair<std::string, double>> heldOutRms;  // per model tried, pixels
    std::string checks = "passed";                           // or "FAILED: " and the checks
};

struct StereoResult {
    cv::Mat r, t, e, f;  // camera to projector: x_proj = R x_cam + T
    double rms = 0;
    std::string cameraModel;  // the camera model the stereo results refer to
    std::string checks = "passed";
};

// OpenCV FileStorage YAML (full precision) with image_width, image_height, camera_matrix,
// distortion_coefficients, avg_reprojection_error, per_view_reprojection_errors,
// image_numbers, the lens model, why it was chosen, the held-out errors and the checks.
bool writeDeviceYaml(const std::string& path, const DeviceResult& device);

// R, T, E, F and the stereo RMS error.
bool writeStereoYaml(const std::string& path, const StereoResult& stereo);

// A bar chart of the per-view errors, labelled with the image numbers.
bool writeErrorChart(const std::string& path, const std::string& title, const DeviceResult& device);
