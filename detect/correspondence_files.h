// The files that hand the correspondences to the calibration tools.
#pragma once

#include "run_state.h"

// Point files of usable image n with points r (2D, and 3D or pattern points by mode) in
// the output folder, and the detect image with the markers' rectangles on the pattern
// image.
void writeCorrespondenceFiles(RunState* state, int n, const ImageResult& r);

// The true-number file: the usable image numbers, one per line.
void writeTrueNumberFile(RunState* state);

// drops.txt beside it: the run's dropped markers, in image order (a header alone when none
// was dropped).
void writeDropsFile(RunState* state);
