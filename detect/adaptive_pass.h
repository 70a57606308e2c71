// Re-detection of markers the threshold sweep missed, through homographies to the
// projected pattern image and per-marker Otsu thresholds.
#pragma once

#include <string>
#include <vector>

#include "run_state.h"

// Runs up to six iterations on usable image n (success position k) while the number of
// markers changes, replacing ImageResult k and the detect count of n. Writes the
// diff_detectnum and adaptive_AR_2Dinfo reports and the rectified image of the last
// iteration (each iteration's replaces the one before); the caller draws the marked
// image of the result. Markers dropped on the way are noted in *drops.
void runAdaptivePass(RunState* state, int n, int k, std::vector<std::string>* drops);
