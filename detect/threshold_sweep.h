// Step 1 of a photo's work: the engine at every threshold of the sweep, keeping the most
// confident sighting of every id.
#pragma once

#include <vector>

#include "detect_image.h"
#include "photo_work.h"

// Best sighting of each id over the sweep of one image.
struct SweepEntry {
    bool found = false;
    double best = -1.0;
    int corner[4][2] = {};     // truncated toward zero
    double vertex[4][2] = {};  // as detected (the start of a sub-pixel refinement)
};

// Sweeps the work image of w (an unusable photo has none: nothing is found) and returns
// one entry per pattern id. Says every threshold on w's console and in its thresholds
// report, and warns when dark regions too big for a marker cover much of the photo.
std::vector<SweepEntry> sweepThresholds(const RunState& run, PhotoEngine* engine, PhotoWork* w);
