// Stage 2: the output folder. Clears what an earlier run wrote (and listed), makes the
// folders the programs write to, and prints what the run will do.
#pragma once

#include "rigflow_stage.h"

StageResult prepareFolders(RigflowRun* run);

// The run's first lines: views used, sizes, where given points come from, the series' notes.
void printHeader(const RigflowRun& run);
