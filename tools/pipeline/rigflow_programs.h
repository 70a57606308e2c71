// The programs rigflow starts, each as a step: its console title, the program, its argument
// list built from the configuration and the layout, and the log it writes.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "harvest_command.h"
#include "lens_model_kind.h"
#include "rigflow_config.h"
#include "rigflow_report.h"

struct ProgramStep {
    std::string title, program;
    std::vector<std::string> args;
    std::string logName;
};

// A program argument that is a printf pattern: folder's own '%' literal, then the pattern.
std::string patternArg(const std::string& folder, const std::string& file);

// The folder the used photos are linked into for the detector.
std::string seriesFolder(const Layout& layout);

// The photos detection which (0, 1) of detections running at the same time works on at
// once: the configured jobs (0: every core) shared between them, the first taking the odd one.
int detectionJobs(const RigflowConfig& config, int detections, int which);

// tagharvest on images (the staged photos used, numbers used) into the series' points folder.
HarvestCommand harvestCommand(const RigflowConfig& config, bool projector, const Layout& layout,
                              const std::string& images, const std::vector<int>& used, int jobs);
ProgramStep harvestStep(const HarvestCommand& command, bool projector);

// lensrig: the camera with the lens model chosen.
ProgramStep lensrigStep(const RigflowConfig& config, const Layout& layout, cv::Size cameraSize,
                        LensModel model);

// warpdots, twice: the camera points and the projected markers without lens distortion.
std::vector<ProgramStep> warpdotsSteps(const Layout& layout);

// lumenrig: the projector with its lens model and the stereo pair.
ProgramStep lumenrigStep(const RigflowConfig& config, const Layout& layout, cv::Size cameraSize,
                         cv::Size projectorSize, LensModel projectorModel);

// What to change when program ended with status; "" when its own lines say it.
std::string stepAdvice(const std::string& program, int status);
