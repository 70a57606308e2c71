// camera_info_camera.yaml and camera_info_projector.yaml: the devices as ROS camera_info YAML
// (what ROS's camera calibration parsers read and its camera drivers publish).
//
// Pixels and units as in docs/conventions.md. distortion_model is
// plumb_bob (k1 k2 p1 p2 k3) or, for an eight-coefficient lens, rational_polynomial (k1 k2 p1
// p2 k3 k4 k5 k6). With a projector the two files are a stereo pair as ROS expects one: the
// camera the left device, rectification_matrix and projection_matrix OpenCV's stereo
// rectification R1, P1 (camera) and R2, P2 (projector) of the stereo R, T, both rectified into
// the camera's image size; the projector's P holds -fx' * baseline (board units) in its fourth
// column. Without a projector R is the identity and P = [K | 0].
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "rigflow_report.h"

// The file's text: the device's checks as a comment, numbers at 17 significant digits.
// rectification is 3 x 3, projection 3 x 4. Returns false, with *text untouched, when the lens has
// coefficients past the eighth.
bool rosCameraInfoText(const std::string& cameraName, const DeviceResult& device,
                       const cv::Mat& rectification, const cv::Mat& projection, std::string* text);

// Writes folder/camera_info_camera.yaml and, with a projector, folder/camera_info_projector.yaml.
// False when a lens cannot be written or a file could not be written whole.
bool writeRosCameraInfo(const std::string& folder, const Results& results);
