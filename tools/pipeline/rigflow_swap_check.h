// A failing camera calibration whose "projector" photos calibrate well as camera photos:
// the two series were given the wrong way round. Tried in a scratch folder of the logs.
#pragma once

#include "rigflow_stage.h"

// Puts the finding first in run->findings when the series look swapped.
void diagnoseSwappedSeries(RigflowRun* run);
