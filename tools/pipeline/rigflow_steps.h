// Running the programs' steps: numbered on the console, each output kept in its log; a
// failed one ends the run with its last lines and what to change.
#pragma once

#include "rigflow_programs.h"
#include "rigflow_stage.h"

// Runs the run's next step.
StageResult runProgramStep(RigflowRun* run, const ProgramStep& step);

// Two independent steps at the same time (the next two numbers), reported in order.
StageResult runTogether(RigflowRun* run, const ProgramStep& first, const ProgramStep& second);
