// Checks of each step's result against what a sound calibration looks like. A failed check
// names the figure and the likely causes; a warning names what to look at.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "calibration_export.h"
#include "rigflow_config.h"

struct Finding {
    bool failed;         // false: a warning
    std::string what;    // the check and its figure
    std::string causes;  // the likely causes and their fixes
};

bool anyFailed(const std::vector<Finding>& findings);

// Markers on the board and in the projected pattern image.
constexpr int kMarkersPerView = 63;
// Median over views of the markers identified, as a fraction of kMarkersPerView.
double identifiedFraction(const std::vector<int>& markersPerView);

// After detection: enough views, and enough of the board's markers identified in them.
void checkDetection(const std::string& device, int viewsUsed, int viewsTried, double identified,
                    const RigflowConfig& c, std::vector<Finding>* findings);

// After a calibration: RMS error within max_rms, square pixels, the principal point where
// the device's optics can put it, and no view far worse than the others.
void checkCalibration(const std::string& device, const DeviceResult& d, bool projector,
                      const RigflowConfig& c, std::vector<Finding>* findings);

// The regions of a 3 x 3 split of the image (named "top-left corner", "top edge", ...,
// "centre", ..., "bottom-right corner") that no point reached, in reading order.
std::vector<std::string> emptyRegions(cv::Size frame, const std::vector<cv::Point2d>& points);

// A warning naming the regions of the device's image without data, where its lens model is
// extrapolated.
void checkRegions(const std::string& device, cv::Size frame, const std::vector<cv::Point2d>& points,
                  std::vector<Finding>* findings);

// "FAILED ..." / "warning ..." lines for the console and the results folder.
std::string describeFindings(const std::vector<Finding>& findings);
