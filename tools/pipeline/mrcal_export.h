// camera.cameramodel and projector.cameramodel: the calibrated devices as mrcal's tools read
// them (mrcal's text format, a Python dictionary literal).
//
// Pixels, coefficient order and the direction of rt_fromref: docs/conventions.md. The camera is
// at the reference; the projector's extrinsics are the stereo R, T.
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
