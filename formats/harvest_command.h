// tagharvest's command line as a record: its options and 19 positional arguments by name,
// so that every program and test starting it builds the same argument list.
#pragma once

#include <string>
#include <vector>

#include "marker_board.h"

constexpr int kHarvestPositionalCount = 19;

// Defaults: the bundled scenes' board and thresholds, four photos, camera mode.
struct HarvestCommand {
    int jobs = 0;              // --jobs: photos worked on at once; 0 leaves the option out
    bool subpixel = false;     // --subpixel
    double detectScale = 0;    // --detect-scale after --subpixel; 0 leaves it out
    std::string projection;    // the image the projector casts
    std::string cameraImages;  // photo pattern with one integer conversion
    int first = 0, count = 4;  // first photo number and how many follow it
    double arThresh = 50;      // percent
    int threshFirst = 80, adaptive = 1, interval = 10, repeats = 5;
    int patterns = kBoardMarkers;  // pattern files data/pat.NN
    double markSize = kDefaultMarkSizeMm, spaceX = kDefaultMarkSpaceMm,
           spaceY = kDefaultMarkSpaceMm;         // board units
    double centre = 0;                           // 1: projected marker centres (read as an integer)
    int rotation = 0;                            // board rotation
    int mode = 0;                                // 0 camera, 1 projector
    int minimum = 10;                            // markers a photo needs
    std::string output = "points";               // the points folder
    std::string marked = "test/marked%03d.png";  // marked image pattern
};

// The options, then the positional arguments in tagharvest's order.
std::vector<std::string> harvestCommandLine(const HarvestCommand& command);
