// The lens models' calibration flags as OpenCV knows them. The formats layer mirrors
// OpenCV's values without seeing OpenCV; here, where both are visible, they must agree.
#pragma once

#include <opencv2/calib3d.hpp>

#include "lens_model_kind.h"

static_assert(kCalibZeroTangentDist == cv::CALIB_ZERO_TANGENT_DIST);
static_assert(kCalibFixK1 == cv::CALIB_FIX_K1);
static_assert(kCalibFixK2 == cv::CALIB_FIX_K2);
static_assert(kCalibFixK3 == cv::CALIB_FIX_K3);
static_assert(kCalibRationalModel == cv::CALIB_RATIONAL_MODEL);

// OpenCV's flags for fitting model.
inline int calibrationFlags(LensModel model) {
    return lensModelTraits(model).calibrationFlags;
}
