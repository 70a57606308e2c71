// camera.cameramodel and projector.cameramodel: the calibrated devices as mrcal's tools read
// them (mrcal's text format, a Python dictionary literal).
//
// Conventions are OpenCV's and ours: pixel (0, 0) is the centre of the top-left pixel, the
// coefficients of LENSMODEL_OPENCV5 / LENSMODEL_OPENCV8 are OpenCV's k1 k2 p1 p2 k3 (k4 k5 k6)
// in that order, and the extrinsics are mrcal's rt_fromref: a Rodrigues vector and a
// translation (board units) taking a point from the reference (the camera) into the device,
// x_device = R x_ref + t. The camera is at the reference; the projector's are the stereo R, T.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "rigflow_report.h"

// How many distortion coefficients the device's lens needs outside: 0 (all zero), 5, 8, or
// -1 when a coefficient past the eighth is not zero (no model here holds it). A rational
// lens keeps 8 even when its last three are zero.
int distortionTerms(const DeviceResult& device);

// "# checks: " and the device's checks (passed, or FAILED: and why), one comment line: the
// consumers' readers skip it, a person reading the file sees it.
std::string checksComment(const DeviceResult& device);

// The file's text for device, seen from the reference through rFromRef (3 x 3) and tFromRef
// (3 x 1); numbers at 17 significant digits; the note and the device's checks as comments. Returns
// false, with *text untouched, when distortionTerms is -1.
bool mrcalModelText(const DeviceResult& device, const cv::Mat& rFromRef, const cv::Mat& tFromRef,
                    const std::string& note, std::string* text);

// Writes folder/camera.cameramodel and, with a projector, folder/projector.cameramodel.
// False when a lens cannot be written in mrcal's models or a file could not be written whole.
bool writeMrcalModels(const std::string& folder, const Results& results);
