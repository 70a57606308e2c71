// What rigflow's stages share: the run they work on and how each one ends. A stage that
// cannot go on says why in its status; the run maps it to rigflow's exit status.
#pragma once

#include <opencv2/core.hpp>
#include <set>
#include <string>
#include <vector>

#include "joint_refine.h"
#include "photo_series.h"
#include "rigflow_config.h"
#include "rigflow_report.h"
#include "sanity_checks.h"

enum class StageStatus {
    kDone,          // the next stage may run
    kInputError,    // an input to fix (exit 2 before any program ran, else a failed check)
    kStepFailed,    // a program failed; its output and advice are printed (exit 3)
    kChecksFailed,  // the findings hold a failed check (exit 4)
};

struct StageResult {
    StageStatus status = StageStatus::kDone;
    std::string message;  // kInputError: what to fix
};

inline StageResult inputError(const std::string& message) {
    return {StageStatus::kInputError, message};
}
inline bool done(const StageResult& result) {
    return result.status == StageStatus::kDone;
}

// What runs: detection or given correspondences, with or without a projector.
struct Plan {
    bool detectCamera = true, detectProjector = true, projector = true;
    cv::Size cameraSize, projectorSize;
    PhotoSeries series;    // when markers are detected in photos
    std::string sizeFrom;  // the photo the camera size was taken from, with given points
};

// One run: its inputs, where its files go, and what it has found so far.
struct RigflowRun {
    std::string workDir;
    RigflowConfig config;
    Plan plan;
    Layout layout;
    int step = 0, steps = 0;  // programs started so far, of all the run will start
    Results results;
    std::vector<Finding> findings;
    std::vector<DroppedView> detectorDropped;  // views the detector found too few markers in
    JointRefinement joint;                     // refine = joint: the last step's solve
    bool folderReady = false;                  // the output folder is cleared and listed
    std::set<std::string> foreign;             // its entries rigflow did not write
};

// The note that marks failed results in the output folder.
constexpr const char* kFailedName = "FAILED.txt";

// A path relative to the working directory, as a path from here, and whether it exists.
std::string inWorkDir(const std::string& workDir, const std::string& relative);
bool existsInWorkDir(const std::string& workDir, const std::string& relative);

// The true-number file of the camera's or the projector's points folder.
std::string trueNumberFile(const Layout& layout, bool projector);
