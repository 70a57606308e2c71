// The pattern marker table and the board model: where every id lies in the projected
// pattern image and on the metric board.
#pragma once

#include "run_state.h"

// Ends the run from inside a pass with an exit status (caught by runTagharvest).
struct TagharvestExit {
    int status;
};
constexpr int kExitCamParamError = 1;  // "cam_param error": camparam.dat unreadable
constexpr int kExitEngineFailure = -1;

// Loads one record of "camparam.dat", rescales it to width x height and installs it.
// Prints "cam_param error" and throws TagharvestExit when the file cannot be read.
void installCameraParams(int width, int height);

// Loads the pattern files data/pat.00 .. data/pat.(n-1) into the engine, detects the
// pattern image at threshold thresh_first pass after pass (covering every recorded
// marker with a white patch) and fills state->patternTable; writes "AR_pattern_info.txt".
// Stops after a pass that records nothing new and lists the ids not found on stderr.
void buildPatternMarkerTable(RunState* state);

// Board corners and centres of every id from MARK_SIZE, MARK_SPACE_X, MARK_SPACE_Y and
// boad_rotation (at least 63 entries).
void buildBoardModel(RunState* state);
