// The solve's parameters as flat blocks, the least-squares problem over the observations kept,
// and the residuals in pixels.
#pragma once

#include <ceres/ceres.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "rig_residuals.h"
#include "rig_solve.h"

using RigPose = std::array<double, 6>;
using RigPoint = std::array<double, 2>;

struct RigParams {
    double camera[kRigIntrinsics] = {0};
    double projector[kRigIntrinsics] = {0};
    int cameraTerms = 0, projectorTerms = 0;  // lens terms in use: 0, 5 or 8
    std::vector<RigPose> poses;               // camera from board, per view
    double rig[6] = {0};                      // Rodrigues(R), T
    double bending[2] = {0, 0};
    RigBend bend;
    std::vector<std::vector<RigPoint>> points;  // free board points of the projected points
};

// Which observations take part (1) or were rejected (0), per view.
struct RigKeep {
    std::vector<std::vector<char>> board, projected;
};

// Pixel residuals (prediction - observation) of every observation at the parameters.
struct RigResiduals {
    std::vector<std::vector<cv::Vec2d>> board, projectedCamera, projector;
};

struct RigProblem {
    std::unique_ptr<ceres::Problem> problem;
    std::vector<double*> globalBlocks;  // camera, projector, rig, bending (when free)
    std::vector<double*> otherBlocks;   // poses and free points that vary
    std::vector<double*> pointBlocks;   // every free point in the problem
    int globalSize = 0;                 // tangent size of the global blocks
    int freeParameters = 0;             // tangent size of all varying blocks
    int residualComponents = 0;
};

// Builds the problem over the kept observations, each group weighted by 1 / sigma[group], with
// a Huber loss of scale lossScale (in σ) when lossScale > 0. In a view without kept board points
// the first two kept projected points fix the board's in-plane position and rotation.
RigProblem buildRigProblem(RigParams* params, const std::vector<RigView>& views,
                           const RigKeep& keep, const double sigma[kRigGroups], double lossScale);

// Solves; 0, or -1 with *message when the iterations do not converge.
int runRigProblem(RigProblem* problem, int maxIterations, int* iterations, std::string* message);

RigResiduals rigResiduals(const RigParams& params, const std::vector<RigView>& views);
