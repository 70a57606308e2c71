// lensrig: camera calibration from tagharvest's camera-mode correspondences.
#pragma once

#include <opencv2/core.hpp>
#include <ostream>
#include <string>

#include "lens_model_kind.h"

constexpr int kLensrigDefaultIterations = 30;

struct LensrigArgs {
    // Options, before the positional arguments.
    cv::Size size;             // --size WxH: the image size when there are no photos
    std::string resultsName;   // --results FILE: every result at full precision (YAML)
    std::string imagePattern;  // 1: image file pattern
    std::string pattern2d;     // 2: 2D point file pattern
    std::string pattern3d;     // 3: 3D point file pattern
    std::string trueNumName;   // 4: true-number file
    // 5: the lens model, from dist_mode 0 none, 1 rational, 2 standard (k1 k2 p1 p2 k3);
    // a number that names no model is kept for the message that refuses it.
    LensModel model = LensModel::kNone;
    bool modeKnown = true;
    int modeGiven = 0;
    std::string paramFolder;                     // 6: pose, error, matrix and distortion files
    std::string reprojFolder;                    // 7: redrawn images
    int iterations = kLensrigDefaultIterations;  // 8: iteration limit of a model with a lens
};

// Exit statuses.
constexpr int kLensrigOk = 0;
constexpr int kLensrigError = 1;          // usage, bad input, calibration failure
constexpr int kLensrigUnwritten = 2;      // finished, but some output could not be written
constexpr int kLensrigNotReproduced = 3;  // the files written do not reproduce the fit

// The image pattern that stands for "no photos" (with --size): no image is read and no
// reprojection image drawn.
constexpr const char* kNoPhotos = "-";

// Reads the options and 7 or 8 positional arguments (argv[1..]); false after printing the
// usage on stderr.
void printLensrigUsage(std::ostream& out);
bool parseLensrigArgs(int argc, char** argv, LensrigArgs* args);

// The whole run; returns the exit status. Errors raised while loading or inside OpenCV
// are reported on stderr with status 1.
int runLensrig(const LensrigArgs& args);
