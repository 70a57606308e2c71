// rigflow: one command from the two photo series to the camera, projector and stereo
// calibration. It starts tagharvest (twice), lensrig, warpdots (twice) and lumenrig,
// with their file names matched up, then writes the results as OpenCV YAML and charts.
#pragma once

#include <string>

struct RigflowOptions {
    std::string workDir;     // photos, data/pat.NN, projection image; results go below it
    std::string configPath;  // default: WORKDIR/rigflow.cfg
    std::string truthPath;   // optional ground truth (tagforge's truth.yaml) to compare with
};

constexpr int kRigflowOk = 0;
constexpr int kRigflowUsage = 1;
constexpr int kRigflowInputError = 2;    // something to fix before any program runs
constexpr int kRigflowStepFailed = 3;    // a program failed; its output is kept
constexpr int kRigflowChecksFailed = 4;  // a result failed its checks; kept, marked as failed

// Parses "rigflow [--config FILE] [--truth FILE] WORKDIR"; false after printing the usage.
bool parseRigflowArgs(int argc, char** argv, RigflowOptions* options, int* status);

int runRigflow(const RigflowOptions& options);
