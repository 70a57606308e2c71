// The lens models the toolkit fits, under one name wherever they are chosen, fitted, written
// or read. Each program's command line has its own numbers for them (lensrig: 0 none,
// 1 rational, 2 standard; lumenrig: 0 none, 1 standard); those are mapped here, at parse time,
// and nowhere else.
#pragma once

#include <string>
#include <vector>

enum class LensModel { kNone, kStandard, kRational };

struct LensModelTraits {
    LensModel model;
    const char* name;  // as written in every result file: "none", "standard", "rational"
    // The coefficients the model fits, in OpenCV's order (none: no coefficient).
    std::vector<std::string> coefficientNames;
    // The length of the distortion vector a fit hands back: OpenCV's shortest holds five, so
    // the model without a lens has five zeros.
    int fittedCoefficients;
    // OpenCV's calibration flags for fitting it (the values of cv::CALIB_*: this layer does
    // not see OpenCV; the calibration code checks them against it at compile time).
    int calibrationFlags;
};

const LensModelTraits& lensModelTraits(LensModel model);
inline const char* lensModelName(LensModel model) {
    return lensModelTraits(model).name;
}
inline int coefficientCount(LensModel model) {
    return static_cast<int>(lensModelTraits(model).coefficientNames.size());
}

// The names of the fitted distortion vector's entries (none: the standard model's, all zero).
std::vector<std::string> fittedCoefficientNames(LensModel model);

// How many values a distortion file (lensrig's dist.txt, lumenrig's proj_dist_file) holds:
// the fitted ones, or without a lens four zeros, so that a reader of k1 k2 p1 p2 finds them.
int distortionFileValues(LensModel model);

// From a result file's name; false for any other text.
bool lensModelFromName(const std::string& name, LensModel* model);
// The same, with otherwise for a text that names no model.
LensModel lensModelNamed(const std::string& name, LensModel otherwise);

// lensrig's dist_mode: 0 none, 1 rational, 2 standard; false for any other number.
bool lensModelFromLensrigMode(int mode, LensModel* model);
int lensrigMode(LensModel model);
// lumenrig's proj_dist_mode: 0 none, 1 standard; false for any other number (lumenrig does
// not fit the rational model).
bool lensModelFromLumenrigMode(int mode, LensModel* model);
int lumenrigMode(LensModel model);  // -1 for the rational model

// OpenCV's flag values, mirrored (see calibrationFlags).
constexpr int kCalibZeroTangentDist = 8;
constexpr int kCalibFixK1 = 32;
constexpr int kCalibFixK2 = 64;
constexpr int kCalibFixK3 = 128;
constexpr int kCalibRationalModel = 16384;
constexpr int kNoDistortionFlags = kCalibZeroTangentDist | kCalibFixK1 | kCalibFixK2 | kCalibFixK3;
