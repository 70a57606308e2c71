// The last calibration step: one joint, robust solve of camera, projector, board poses and
// R, T, started from the chain's results (lensrig, then lumenrig), whose figures it replaces.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "rig_solve.h"
#include "rigflow_report.h"
#include "sanity_checks.h"

// Grid of the projection-uncertainty maps: cells across the image.
constexpr int kSigmaMapColumns = 16, kSigmaMapRows = 12;

struct JointRefinement {
    bool done = false;
    Results chain;                              // the chain's results, for the report's comparison
    RigSolution solution;                       // the joint solve
    std::vector<RigView> views;                 // what it solved, in solution order
    double workingDistance = 0;                 // median camera-to-board distance, board units
    cv::Mat cameraSigmaMap, projectorSigmaMap;  // px, kSigmaMapRows x kSigmaMapColumns
    std::vector<std::string> notes;             // what was left out and why
};

// Solves the rig from the correspondence files (the camera's raw points) and r's chain results,
// then writes the joint figures and their σ into *r (the chain's stay in joint->chain). Views
// with camera points only count; projector views without camera points are left out (no pose
// to start from) and noted. Returns "" or why the solve failed (r unchanged).
std::string refineJointly(const std::string& workDir, const Layout& l, Results* r,
                          JointRefinement* joint);

// The checks the joint solve adds: too many rejected points fail the run; more than 1 % warn.
void checkJoint(const JointRefinement& joint, std::vector<Finding>* findings);

// The rejected points, counted per view and named, one line each ("view 7: camera board point
// 12, 3.2 px").
std::vector<std::string> rejectedLines(const JointRefinement& joint);
