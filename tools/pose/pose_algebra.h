// Rigid transformations of the pose calculator, all in single precision.
//
// Transforms and pose parameters: docs/conventions.md (the pose calculator's poses).
// Every product and every partial sum is rounded to float, sums start at 0.
#pragma once

#include "pose_types.h"

Transform identityTransform();

// v narrowed to single precision; beyond the float range it becomes +-infinity (a plain
// conversion of such a value is undefined).
float toSingle(double v);

// Rotation about the axis (x, y, z) by angleRad radians (right-handed), built
// through a unit quaternion. Returns 0, or -1 for an axis of length 0 (rot untouched).
int axisAngleToMatrix(float x, float y, float z, double angleRad, float rot[3][3]);

// Rotation Rx(alpha)*Ry(beta)*Rz(gamma) and translation of the pose parameters.
Transform poseParamsToMatrix(const PoseParams& params);

// The pose parameters of a rigid transformation. At beta = +-90 degrees (gimbal lock)
// alpha is 0 and gamma takes the whole in-plane angle; beta keeps the sign of rot[0][2].
PoseParams matrixToPoseParams(const Transform& transform);

// pose <- applied * pose: rot = Ra*rot, trans = Ra*trans + ta.
void composeTransform(const Transform& applied, Transform* pose);

// (R^T, -(R^T t)): the inverse of a rigid transformation (R is not checked).
Transform invertTransform(const Transform& transform);

// trans <- k * trans; the rotation is unchanged.
void scaleTranslation(float k, Transform* pose);

// Single-precision 3x3 product with sums ((0 + a0*b0) + a1*b1) + a2*b2.
void multiplyRotations(const float a[3][3], const float b[3][3], float out[3][3]);
void multiplyRotationVector(const float a[3][3], const float v[3], float out[3]);
