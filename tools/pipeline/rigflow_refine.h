// Stage 6 (refine = joint): one robust solve of the whole rig. It replaces the chain's
// figures, so the checks made after the camera's are made again on its results.
#pragma once

#include <cstddef>

#include "rigflow_stage.h"

// chainChecks: the findings made up to the camera's checks, which stay.
void refineRig(RigflowRun* run, std::size_t chainChecks);
