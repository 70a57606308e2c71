// The report's section on the joint solve: the chain's figures beside the joint ones, the
// rejected points and the projection-uncertainty maps.
#pragma once

#include <string>

#include "joint_refine.h"

// joint: the results after the solve (the chain's are in j.chain). HTML, self-contained.
std::string jointReportSection(const JointRefinement& j, const Results& joint);
