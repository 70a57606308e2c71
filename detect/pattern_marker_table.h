// The pattern marker table and the board model: where every id lies in the projected
// pattern image and on the metric board.
#pragma once

#include "camera_param.h"
#include "run_state.h"

// Ends the run from inside a pass with an exit status (caught by runTagharvest).
struct TagharvestExit {
    int status;
};
constexpr int kExitCamParamError = 1;  // "cam_param error": camparam.dat unreadable
constexpr int kExitEngineFailure = -1;
constexpr int kExitPatternFile = 1;   // a pattern file that cannot be loaded
constexpr int kExitPatternImage = 1;  // projector mode: a pattern image too small for a marker
constexpr int kMinPatternSide = 16;   // pixels: the smallest side that can show a marker

// Reads the first record of "camparam.dat". Prints "cam_param error" and throws
// TagharvestExit when the file cannot be read or holds no positive image size.
CameraParam readCameraParamFile();

// Installs record rescaled to width x height as the engine's camera parameters.
void installCameraParams(EngineContext* engine, const CameraParam& record, int width, int height);

// Loads the pattern files data/pat.00 .. data/pat.(n-1) into the engine, detects the
// pattern image at threshold thresh_first pass after pass (covering every recorded
// marker with a white patch) and fills state->patternTable; writes "AR_pattern_info.txt".
// Stops after a pass that records nothing new and lists the ids not found on stderr.
void buildPatternMarkerTable(RunState* state);

// Board corners and centres of every id from MARK_SIZE, MARK_SPACE_X, MARK_SPACE_Y and
// boad_rotation (at least 63 entries).
void buildBoardModel(RunState* state);
