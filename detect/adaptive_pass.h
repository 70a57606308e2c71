// Re-detection of markers the threshold sweep missed, through homographies to the
// projected pattern image and per-marker Otsu thresholds.
#pragma once

#include <string>
#include <vector>

#include "detect_image.h"
#include "marker_drops.h"
#include "photo_work.h"

// Step 4 of a usable photo's work: up to six iterations on the work image of w while the
// number of markers changes, replacing w's result and count. Leaves the diff_detectnum
// and adaptive_AR_2Dinfo reports and the rectified view of the last iteration in w;
// markers dropped on the way are logged.
void runAdaptivePass(const RunState& run, PhotoEngine* engine, PhotoWork* w, DropLog* log);

// Writes what the adaptive pass left in w (nothing when it did not run): the rectified
// view, then the two reports.
void writeAdaptiveReports(RunState* run, const PhotoWork& w);
