// Stage 4: the camera. lensrig with the lens model chosen, its results collected and checked;
// a failed check writes the results so far (and looks for swapped series) before stopping.
#pragma once

#include "rigflow_stage.h"

StageResult calibrateCamera(RigflowRun* run);

// Fewer views than a calibration needs (lensrig and lumenrig refuse them): the run fails
// its checks before the program, naming the count as min_views would.
StageResult requireCalibrationViews(RigflowRun* run, const std::string& device, int views,
                                    int tried);
