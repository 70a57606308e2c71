// The detection pass over the series: every photo worked on (detectPhoto), its files
// written in image order.
#pragma once

#include "run_state.h"

// For every image of the series: sweep the thresholds, accept the most confident
// sighting of every id, and for an image with more than Minimum_number markers write the
// marked image, run the adaptive pass (when enabled), build the 3D points and write the
// correspondence files. Fills detectCount, successList, results and drops. jobs photos
// are worked on at the same time; files, reports and console are those of one job.
void runDetectionPass(RunState* state, int jobs = 1);
