// The OpenGL projection matrix of a calibrated camera or projector (no lens distortion).
//
// Eye and window coordinates: docs/conventions.md (OpenGL). Near and far are distances ahead of
// the device, in board units. The matrix is row-major; give it to OpenGL transposed.
#pragma once

#include <opencv2/core.hpp>

cv::Matx44d glProjection(const cv::Mat& cameraMatrix, cv::Size size, double nearPlane,
                         double farPlane);
