// The OpenGL projection matrix of a calibrated camera or projector (no lens distortion).
//
// Conventions: OpenGL eye coordinates are the device's coordinates with y and z turned
// (x right, y up, looking down -z): (x, -y, -z) of the calibration's x right, y down, z ahead.
// Window coordinates put pixel (u, v) of the image at (u + 0.5, height - v - 0.5): pixel
// centres as OpenCV numbers them, origin at the bottom-left corner as OpenGL has it. Near and
// far are distances ahead of the device, in board units. The matrix is row-major; give it to
// OpenGL transposed (or with transpose = GL_TRUE).
#pragma once

#include <opencv2/core.hpp>

cv::Matx44d glProjection(const cv::Mat& cameraMatrix, cv::Size size, double nearPlane,
                         double farPlane);
