// Stage 5: the projector. warpdots takes the camera's lens out of the points (undistort = 1),
// then lumenrig calibrates the projector and the stereo pair; the results are checked.
#pragma once

#include "rigflow_stage.h"

StageResult calibrateProjector(RigflowRun* run);

// The stereo pair's error against max_rms.
void checkStereoRms(const Results& results, const RigflowConfig& config,
                    std::vector<Finding>* findings);
