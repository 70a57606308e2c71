// The solve's three residuals, each divided by its group's noise σ (px) so that every group
// weighs as its noise says.
#pragma once

#include <ceres/ceres.h>

#include "rig_projection.h"

// Geometry of the board's bending (see rig_solve.h).
struct RigBend {
    int terms = 0;
    double cx = 0, cy = 0, half = 1;
};

// A board point through the view pose into the camera, against where the camera saw it (u, v),
// in units of the group's σ.
template <typename T>
void cameraResidual(const T* camera, const T* pose, const T* board, double u, double v,
                    double invSigma, T* r) {
    T cam[3], px[2];
    transformPoint(pose, board, cam);
    projectThroughLens(camera, cam, px);
    r[0] = (px[0] - u) * invSigma;
    r[1] = (px[1] - v) * invSigma;
}

// The camera on a board marker: parameters camera (12), pose (6), bending (2).
struct CameraBoardResidual {
    double bx, by, u, v, invSigma;
    RigBend bend;
    template <typename T>
    bool operator()(const T* camera, const T* pose, const T* bending, T* r) const {
        const T board[3] = {T(bx), T(by),
                            boardBend(bending, bend.terms, bx, by, bend.cx, bend.cy, bend.half)};
        cameraResidual(camera, pose, board, u, v, invSigma, r);
        return true;
    }
};

// The camera on a projected point at free board position point (2): camera, pose, point,
// bending.
struct CameraProjectedResidual {
    double u, v, invSigma;
    RigBend bend;
    template <typename T>
    bool operator()(const T* camera, const T* pose, const T* point, const T* bending, T* r) const {
        const T board[3] = {
            point[0], point[1],
            boardBend(bending, bend.terms, point[0], point[1], bend.cx, bend.cy, bend.half)};
        cameraResidual(camera, pose, board, u, v, invSigma, r);
        return true;
    }
};

// The projector on the same point: projector (12), pose, rig R T (6), point, bending.
struct ProjectorResidual {
    double u, v, invSigma;
    RigBend bend;
    template <typename T>
    bool operator()(const T* projector, const T* pose, const T* rig, const T* point,
                    const T* bending, T* r) const {
        const T board[3] = {
            point[0], point[1],
            boardBend(bending, bend.terms, point[0], point[1], bend.cx, bend.cy, bend.half)};
        T cam[3], proj[3], px[2];
        transformPoint(pose, board, cam);
        transformPoint(rig, cam, proj);
        projectThroughLens(projector, proj, px);
        r[0] = (px[0] - u) * invSigma;
        r[1] = (px[1] - v) * invSigma;
        return true;
    }
};

inline ceres::CostFunction* cameraBoardCost(const CameraBoardResidual& r) {
    return new ceres::AutoDiffCostFunction<CameraBoardResidual, 2, kRigIntrinsics, 6, 2>(
        new CameraBoardResidual(r));
}
inline ceres::CostFunction* cameraProjectedCost(const CameraProjectedResidual& r) {
    return new ceres::AutoDiffCostFunction<CameraProjectedResidual, 2, kRigIntrinsics, 6, 2, 2>(
        new CameraProjectedResidual(r));
}
inline ceres::CostFunction* projectorCost(const ProjectorResidual& r) {
    return new ceres::AutoDiffCostFunction<ProjectorResidual, 2, kRigIntrinsics, 6, 6, 2, 2>(
        new ProjectorResidual(r));
}
