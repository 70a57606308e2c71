// Markers that the detection accepted but the run cannot trust are dropped and named:
// those that disagree with the board, and with --subpixel those whose edges are broken.
#pragma once

#include <string>
#include <vector>

#include "run_state.h"

// Removes from result (corners not yet reduced to centres) the markers that disagree
// with where the other markers of image n place them, and adds one note per dropped
// marker to *notes (and one when there are too few markers to check). photo: the size of
// the image the corners are in.
void dropInconsistentMarkers(const RunState& state, int n, cv::Size photo, ImageResult* result,
                             std::vector<std::string>* notes);

struct RadialLens;

// The radial lens fitted to result's markers (corners, not yet reduced to centres) against
// the board or the pattern image; false when they are too few to fit it. photo: as above.
bool fitMarkerLens(const RunState& state, const ImageResult& result, cv::Size photo,
                   RadialLens* lens);

// The note for a marker whose edges are not straight along their whole length.
std::string damagedMarkerNote(int n, int id);

// Prints the notes on the console and appends them to a report.
void reportDrops(const std::vector<std::string>& notes, std::ostream& console,
                 std::ostream& report);
