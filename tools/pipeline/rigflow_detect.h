// Stage 3: detection. tagharvest on the used photos of each series (both at once when both
// are detected), then the views it kept checked before any calibration sees them.
#pragma once

#include "rigflow_stage.h"

StageResult detect(RigflowRun* run);
