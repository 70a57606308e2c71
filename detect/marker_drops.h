// Markers that the detection accepted but the run cannot trust are dropped and named:
// those that disagree with the board, and with --subpixel those whose edges are broken.
#pragma once

#include <string>
#include <vector>

#include "drops_file.h"
#include "radial_lens_fit.h"
#include "run_state.h"

// What a step of a photo's work dropped: the notes for the console and the report, and
// the dropped markers as drops.txt lists them.
struct DropLog {
    std::vector<std::string> notes;
    std::vector<MarkerDrop> markers;
};

// The radial lens a board check fitted and the markers it was fitted to (ids and corners in
// the pixels of photo): the same markers give the same lens, which need not be fitted again.
struct CheckedLens {
    bool valid = false;
    cv::Size photo;
    std::vector<int> ids;
    std::vector<cv::Point2f> points2d;
    RadialLens lens;
};

// Removes from result (corners not yet reduced to centres) the markers that disagree
// with where the other markers of image n place them, and logs each (a note and a
// "board" drop; a note alone when there are too few markers to check). photo: the size
// of the image the corners are in. checkedLens, when given: the lens fitted to what result
// holds afterwards (valid when the check ran and dropped nothing).
void dropInconsistentMarkers(const RunState& state, int n, cv::Size photo, ImageResult* result,
                             DropLog* log, CheckedLens* checkedLens = nullptr);

// The radial lens fitted to result's markers (corners, not yet reduced to centres) against
// the board or the pattern image; false when they are too few to fit it. photo: as above.
// known: a lens from a check of the same markers (taken when ids and corners are equal).
bool fitMarkerLens(const RunState& state, const ImageResult& result, cv::Size photo,
                   RadialLens* lens, const CheckedLens* known = nullptr);

// Logs marker id of image n as dropped because its edges are not straight along their
// whole length (an "edges" drop; the refinement reports no deviation, so 0 px).
void logDamagedMarker(int n, int id, DropLog* log);

// Prints the notes on the console and appends them to a report.
void reportDrops(const std::vector<std::string>& notes, std::ostream& console,
                 std::ostream& report);
