// lensrig: camera calibration from tagharvest's camera-mode correspondences.
#pragma once

#include <string>

struct LensrigArgs {
    std::string imagePattern;  // 1: image file pattern
    std::string pattern2d;     // 2: 2D point file pattern
    std::string pattern3d;     // 3: 3D point file pattern
    std::string trueNumName;   // 4: true-number file
    int mode = 0;              // 5: 1 rational lens model, 0 no distortion
    std::string paramFolder;   // 6: pose, error, matrix and distortion files
    std::string reprojFolder;  // 7: redrawn images
    int iterations = 30;       // 8: iteration limit of mode 1
};

// Exit statuses.
constexpr int kLensrigOk = 0;
constexpr int kLensrigError = 1;      // usage, bad input, calibration failure
constexpr int kLensrigUnwritten = 2;  // finished, but some output could not be written

// Reads 7 or 8 arguments (argv[1..]); false after printing the usage on stderr.
bool parseLensrigArgs(int argc, char** argv, LensrigArgs* args);

// The whole run; returns the exit status. Errors raised while loading or inside OpenCV
// are reported on stderr with status 1.
int runLensrig(const LensrigArgs& args);
