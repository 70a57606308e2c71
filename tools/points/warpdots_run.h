// warpdots: removes (default) or applies the camera's lens distortion on per-image 2D
// point lists.
#pragma once

#include <string>

struct WarpdotsArgs {
    std::string trueNumName;       // 1: true-number file
    std::string cameraMatrixName;  // 2: nine numbers on one line (lensrig's Cam_mat.txt)
    std::string distortionName;    // 3: k1 k2 p1 p2 [k3 [k4 k5 k6 [s1..s4 [tx ty]]]]
    std::string pattern2d;         // 4: input 2D point file pattern
    std::string outputPattern;     // 5: output 2D point file pattern
    bool distort = false;          // 6: 1 applies the distortion, anything else removes it
    bool modeUnreadable = false;   // 6 is not a whole number: refused (status 1)
};

constexpr int kWarpdotsOk = 0;           // also after the usage line
constexpr int kWarpdotsError = 1;        // unreadable or malformed input
constexpr int kWarpdotsUnwritten = 2;    // some output file could not be written
constexpr int kWarpdotsNotInverted = 3;  // some points lie where the lens model does not invert

// Fewer than five arguments: prints the usage line and returns false; so does a mode that
// is not a whole number (modeUnreadable set, after a message).
bool parseWarpdotsArgs(int argc, char** argv, WarpdotsArgs* args);

int runWarpdots(const WarpdotsArgs& args);
