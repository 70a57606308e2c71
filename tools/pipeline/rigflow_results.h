// The last stage: the coverage checks, the results files and the report, the summary, and
// the findings with the mark on failed results.
#pragma once

#include "rigflow_stage.h"

// The corners should reach most of the image: elsewhere the lens model is extrapolated.
void checkCoverage(RigflowRun* run);

// Writes every results file and report.html; false (after saying so) when one could not be.
bool writeResults(RigflowRun* run);

// Prints the findings; with a failed one, marks the results (FAILED.txt) and returns true.
bool reportFindings(const RigflowRun& run);

// lumenrig refits the camera as a pinhole on the undistorted points: on a lens the camera
// model describes well, its error matches lensrig's. Warns when they disagree.
void warnCameraDisagreement(const RigflowRun& run);
