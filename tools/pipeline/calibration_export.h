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
    // Where the lens model holds, normalised radius about the principal point (0: not traced,
    // the model was not chosen by held-out error): one-to-one out to validRadius (the whole
    // image when wholeImage), what ends it, and how far the observed points reach.
    double validRadius = 0, dataRadius = 0;
    bool wholeImage = true;
    std::string validityLimit;
    cv::Mat stdDeviations;  // one standard deviation of fx fy cx cy and the coefficients
    cv::Matx44d glProjection = cv::Matx44d::zeros();
    std::vector<cv::Point2d> corners, residuals;  // every corner and its residual, pixels
};

struct StereoResult {
    cv::Mat r, t, e, f;  // camera to projector: x_proj = R x_cam + T
    double rms = 0;
    std::string cameraModel;  // the camera model the stereo results refer to
    std::string checks = "passed";
    // Per view: the projected markers through the camera's pose and R, T into the projector.
    std::vector<int> imageNumbers;
    std::vector<double> perViewRms;
    // One standard deviation of the per-view camera-to-projector poses about R and T.
    cv::Mat tSigma;
    double baselineSigma = 0, rotationSigmaDeg = 0;
};

// The bar colour of the charts: views above this are the outliers the checks warn about.
double outlierLimit(const std::vector<double>& perViewRms);

// OpenCV FileStorage YAML (full precision) with image_width, image_height, camera_matrix,
// distortion_coefficients, avg_reprojection_error, per_view_reprojection_errors,
// image_numbers, the lens model, why it was chosen, the held-out errors, where the model is
// valid, the checks, the
// standard deviations and the OpenGL projection matrix.
bool writeDeviceYaml(const std::string& path, const DeviceResult& device);

// R, T, E, F and the stereo RMS error.
bool writeStereoYaml(const std::string& path, const StereoResult& stereo);

// A bar chart of the per-view errors, labelled with the image numbers, round ticks, the RMS
// of all views as a line and the outliers in red, with a legend.
bool writeErrorChart(const std::string& path, const std::string& title,
                     const std::vector<int>& imageNumbers, const std::vector<double>& perViewRms,
                     double rms);
