// lumenrig: projector calibration as an inverse camera, and camera-projector stereo.
#pragma once

#include <ostream>
#include <string>

#include "lens_model_kind.h"

struct LumenrigArgs {
    std::string resultsName;  // --results FILE (before the positional arguments)
    std::string camTrueNum, camImages, cam2d, cam3d;              // 1-4
    int camWidth = 0, camHeight = 0;                              // 5-6
    std::string projTrueNum, projImages, projOnCam, projPattern;  // 7-10
    int projWidth = 0, projHeight = 0;                            // 11-12
    std::string stereoR, stereoT, fundamental;                    // 13-15
    std::string projMatrix, projDistortion;                       // 16-17
    // 18: proj_dist_mode as given (echoed), and the projector's lens model from it (0 none,
    // 1 standard); modeKnown false for a number that names no model lumenrig fits.
    std::string modeText;
    LensModel model = LensModel::kNone;
    bool modeKnown = true;
};

constexpr int kLumenrigOk = 0;
constexpr int kLumenrigError = 1;
constexpr int kLumenrigUnwritten = 2;
constexpr int kLumenrigNotReproduced = 3;  // the projector files do not reproduce the fit

// Reads the option and exactly 18 positional arguments; false after printing the usage on
// stderr.
void printLumenrigUsage(std::ostream& out);
bool parseLumenrigArgs(int argc, char** argv, LumenrigArgs* args);

int runLumenrig(const LumenrigArgs& args);
