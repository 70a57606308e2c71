// lensrig's results: the pose, summary and reprojection-image files, the full-precision
// results, and whether the written lens reproduces the fit.
#pragma once

#include "lensrig_state.h"

// Each appends a file it cannot write to s->unwritten (and says so on stderr).
void writePoseFiles(LensrigState* s);
void writeReprojectionImages(LensrigState* s);
void writeSummaryFiles(LensrigState* s);
// Every result at full precision, for programs that take the calibration further.
void writeResults(LensrigState* s);

// The lens as the files hold it (six significant digits) must give the fitted error.
// Returns false after saying on stderr by how much it misses.
bool writtenLensReproducesFit(const LensrigState& s);
void warnIfIllConditioned(const LensrigState& s);
