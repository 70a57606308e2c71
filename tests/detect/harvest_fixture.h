// A small synthetic scene shared by the tagharvest tests, and helpers to run the program.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "harvest_command.h"
#include "test_support.h"

// Ground truth of one view, by id: corners in the detector's corner order, and the
// projected marker centre in camera and projector pixels.
struct ViewTruth {
    std::vector<std::array<cv::Point2d, 4>> corners;
    std::vector<cv::Point2d> projectedCamera, projectedProjector;
    std::vector<int> hidden, hiddenProjected;  // ids a hand covers, rim included
};

struct SceneTruth {
    std::vector<ViewTruth> views;
    double markSize = 0, spaceX = 0, spaceY = 0;
};

SceneTruth loadSceneTruth(const std::string& sceneDir);

// Generates a scene into dir: 640 x 480 camera, views views, options as tagforge takes them.
void makeScene(const std::string& dir, int views, const std::vector<std::string>& extra = {});

// Copies what tagharvest reads from its working directory (data/, camparam.dat).
void prepareWorkDir(const std::string& sceneDir, const std::string& workDir);

// The tests name tagharvest's arguments as the toolkit does.
using HarvestArgs = HarvestCommand;

// Runs tagharvest in workDir.
ProgramResult runHarvest(const HarvestArgs& args, const std::string& workDir);

// Lines of a text file split at tabs / blanks into numbers.
std::vector<std::vector<double>> readNumberLines(const std::string& path);
