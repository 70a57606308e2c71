// The rig parameters' covariance from the final Jacobian, and the σ derived from it.
#pragma once

#include "rig_problem.h"

// Covariance of the global blocks (tangent coordinates, in RigProblem::globalBlocks order) with
// the poses and free points eliminated: (JᵀJ)⁻¹ of the weighted Jacobian at the current
// parameters. Returns 0, or -1 with *message when JᵀJ is singular (a parameter the views do not
// fix).
int rigCovariance(RigProblem* problem, cv::Mat* covariance, std::string* message);

// Fills the solution's σ fields from solution->covariance (layout of RigSolution::covariance).
void fillRigSigma(RigSolution* solution);
