// The groups' noise σ and the rejection of observations beyond a few σ.
#pragma once

#include "rig_problem.h"

// Per group, 1.4826 × the median absolute residual component of the kept observations: the σ
// of Gaussian noise, unmoved by a few outliers. A group without observations gets 1 px.
void robustGroupSigma(const RigResiduals& residuals, const RigKeep& keep, double sigma[kRigGroups]);

// Per group, the degrees of freedom its kept residual components leave (their redundancy):
// the components less the share of the parameters they fix. Each free point's two parameters
// are shared between its camera and projector residuals by their weights (sigma), the rest of
// the parameters in proportion to the components. Without this a stiffly weighted group would
// fit its own noise and look ever less noisy.
void groupRedundancy(const RigParams& params, const std::vector<RigView>& views,
                     const RigKeep& keep, const double sigma[kRigGroups], int freeParameters,
                     double redundancy[kRigGroups]);

// Per group, sqrt(sum of squared residual components / redundancy).
void spreadGroupSigma(const RigResiduals& residuals, const RigKeep& keep,
                      const double redundancy[kRigGroups], double sigma[kRigGroups]);

// Components of the kept observations per group.
void groupComponents(const RigKeep& keep, double components[kRigGroups]);

// Rejects every kept observation with a residual longer than rejectSigma σ of its group (a
// projected point as a whole) and appends it to *rejected. Returns how many went.
int rejectOutliers(const RigResiduals& residuals, const std::vector<RigView>& views,
                   const double sigma[kRigGroups], double rejectSigma, RigKeep* keep,
                   std::vector<RigRejected>* rejected);
