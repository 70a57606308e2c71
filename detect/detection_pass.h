// The detection pass over the series: every photo worked on (detectPhoto), its files
// written in image order.
#pragma once

#include "run_state.h"

// Starts decoding the series' readable photos (state->reader), from the first one the
// series check decoded on; the detection pass takes them from it.
void startPhotoReader(RunState* state);

// For every image of the series: sweep the thresholds, accept the most confident
// sighting of every id, and for an image with more than Minimum_number markers write the
// marked image, run the adaptive pass (when enabled), build the 3D points and write the
// correspondence files. Fills detectCount, successList, results and drops. jobs photos
// are worked on at the same time; files, reports and console are those of one job. Starts
// the reader unless it runs already.
void runDetectionPass(RunState* state, int jobs = 1);
