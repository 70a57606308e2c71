#include "rigflow_swap_check.h"

#include <filesystem>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <sstream>

#include "name_pattern.h"
#include "rigflow_lens_choice.h"
#include "rigflow_programs.h"
#include "run_step.h"

namespace fs = std::filesystem;

namespace {
constexpr int kMinTrialViews = 3;

// tagharvest in camera mode on the projector photos; 0 / -1 (no trial points to read).
int detectProjectorPhotosAsCamera(const RigflowRun& run, Layout* probe) {
    // tagharvest writes info/, test/ and camparam.dat where it runs: the trial runs in a
    // scratch folder in OUTPUT, the camera run's files in WORKDIR stay as they are.
    const fs::path w = fs::absolute(run.workDir);
    const fs::path scratch = w / run.layout.logs / "swap_check";
    std::error_code ec;
    fs::create_directories(scratch / "marked", ec);
    fs::create_directory_symlink(w / "data", scratch / "data", ec);
    fs::copy_file(w / "camparam.dat", scratch / "camparam.dat",
                  fs::copy_options::overwrite_existing, ec);
    *probe = run.layout;
    probe->pointsCam = (scratch / "points").string();
    probe->marked = (scratch / "marked").string();
    RigflowConfig c = run.config;
    c.projection_image = (w / c.projection_image).string();
    const std::vector<int>& used = run.plan.series.used;
    const std::string ext =
        fs::path(expandPattern(c.projector_images, used.front())).extension().string();
    const std::string images =
        patternArg((w / seriesFolder(run.layout)).string(), "/projector%03d" + escapePercent(ext));
    const StepResult s =
        runStep((fs::path(ownFolder()) / "tagharvest").string(),
                harvestCommandLine(harvestCommand(c, false, *probe, images, used,
                                                  detectionJobs(run.config, 1, 0))),
                scratch.string(), (scratch / "tagharvest.log").string());
    std::cout << " done" << std::endl;
    if (s.status != 0 || !existsInWorkDir(run.workDir, probe->pointsCam + "/cam_true_num.txt"))
        return -1;
    return 0;
}
}  // namespace

void diagnoseSwappedSeries(RigflowRun* run) {
    if (!run->plan.detectCamera || !run->plan.detectProjector) return;
    std::cout << "      checking whether the two series are swapped ..." << std::flush;
    Layout probe;
    if (detectProjectorPhotosAsCamera(*run, &probe) != 0) return;
    ViewSet v;
    std::string problem;
    try {
        if (loadCameraViews(run->workDir, probe.pointsCam, &v, &problem) != 0) return;
    } catch (...) {
        return;  // a trial that cannot be read diagnoses nothing
    }
    if (static_cast<int>(v.board.size()) < kMinTrialViews) return;
    cv::Mat k, d;
    std::vector<cv::Mat> rvecs, tvecs;
    double rms = 0;
    try {
        rms = cv::calibrateCamera(v.board, v.image, run->plan.cameraSize, k, d, rvecs, tvecs, 0);
    } catch (const cv::Exception&) {
        return;
    }
    DeviceResult trial;
    trial.size = run->plan.cameraSize;
    trial.cameraMatrix = k;
    trial.rms = rms;
    std::vector<Finding> trialFindings;
    checkCalibration("trial", trial, false, run->config, &trialFindings);
    if (anyFailed(trialFindings)) return;
    std::ostringstream figure;
    figure << "the projector photos calibrate as camera photos (RMS " << rms << " px)";
    run->findings.insert(run->findings.begin(),
                         {true, "the camera and projector series look swapped: " + figure.str(),
                          "exchange camera_images and projector_images in the configuration"});
}
