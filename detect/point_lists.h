// The last step of a usable photo's work: its accepted corners as the point lists of the
// correspondence files.
#pragma once

#include "marker_drops.h"
#include "run_state.h"

// Board corners for the 3D list, or one centre per marker (corners summed in corner order
// from 0, times 0.25; with --subpixel the crossing of the diagonals). With --subpixel the
// corners are first freed of the lens's bending of the edges (as fitted to the photo's
// markers), and the diagonals cross where the lens puts the centre. photo: the size of
// the photo the corners are in. known: the lens of the photo's last board check, if any.
void buildPointLists(const RunState& run, cv::Size photo, ImageResult* result,
                     const CheckedLens* known = nullptr);
