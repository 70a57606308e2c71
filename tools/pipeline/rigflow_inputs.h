// Stage 1: the inputs. Reads the configuration and checks everything the programs will need
// before any of them runs: the plan of what runs, with the series and the sizes.
#pragma once

#include "rigflow_run.h"
#include "rigflow_stage.h"

// Fills run->config, run->plan and run->layout from the options.
StageResult readInputs(const RigflowOptions& options, RigflowRun* run);

// Checks the inputs named by config (relative to workDir); fills in the series and sizes.
StageResult checkInputs(const std::string& workDir, RigflowConfig* config, Plan* plan);

// The folders of a run as config names them.
Layout layoutOf(const RigflowConfig& config);
