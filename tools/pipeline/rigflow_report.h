// rigflow's results: read at full precision from the programs' --results files, completed
// with per-view errors, and shown as a summary and beside a ground truth.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "calibration_export.h"
#include "model_choice.h"
#include "rigflow_config.h"

struct Results {
    DeviceResult camera, projector;
    StereoResult stereo;
    bool hasProjector = false;
    bool joint = false;  // the figures are the joint solve's (refine = joint), not the chain's
    double pinholeCameraRms = 0;                    // lumenrig's camera, on the points it was given
    std::vector<cv::Mat> cameraRvecs, cameraTvecs;  // by camera view
};

// Folders of one run, relative to the working directory.
struct Layout {
    std::string out, pointsCam, pointsProj, marked, camera, reproj, undistorted, projector, logs;
};

// Reads lensrig's full-precision results (the camera model and poses).
void collectCamera(const std::string& workDir, const Layout& l, const std::string& resultsFile,
                   Results* r);

// Reads lumenrig's full-precision results and computes the per-view projector errors: the
// projected markers seen by the camera, back-projected onto the board of the camera's pose,
// taken into the projector and projected there.
void collectProjector(const std::string& workDir, const Layout& l, const RigflowConfig& c,
                      const std::string& resultsFile, Results* r);

void printSummary(const RigflowConfig& c, const Results& r, int seriesLength,
                  const std::string& outFolder);

// Throws std::runtime_error when the truth file cannot be read. what names the results in the
// heading (empty: none).
void compareWithTruth(const std::string& path, const Results& r, const std::string& what = "");
