// OpenCV's pinhole + distortion projection written once for any scalar type (double, or the
// Jet of automatic differentiation), so the solve's residuals and the uncertainty maps use the
// same model as cv::projectPoints.
#pragma once

#include <ceres/rotation.h>

// Parameter block of a device: fx fy cx cy k1 k2 p1 p2 k3 k4 k5 k6. A shorter lens holds the
// remaining terms at zero, which makes the formula that lens's.
constexpr int kRigIntrinsics = 12;
constexpr int kRigLensOffset = 4;

// Camera-frame point (x, y, z) -> pixel (u, v).
template <typename T>
void projectThroughLens(const T* intrinsics, const T* point, T* pixel) {
    const T x = point[0] / point[2];
    const T y = point[1] / point[2];
    const T* k = intrinsics + kRigLensOffset;
    const T r2 = x * x + y * y;
    const T r4 = r2 * r2;
    const T r6 = r4 * r2;
    const T radial =
        (T(1) + k[0] * r2 + k[1] * r4 + k[4] * r6) / (T(1) + k[5] * r2 + k[6] * r4 + k[7] * r6);
    const T xd = x * radial + T(2) * k[2] * x * y + k[3] * (r2 + T(2) * x * x);
    const T yd = y * radial + k[2] * (r2 + T(2) * y * y) + T(2) * k[3] * x * y;
    pixel[0] = intrinsics[0] * xd + intrinsics[2];
    pixel[1] = intrinsics[1] * yd + intrinsics[3];
}

// pose = Rodrigues vector (3) + translation (3): out = R in + t.
template <typename T>
void transformPoint(const T* pose, const T* in, T* out) {
    ceres::AngleAxisRotatePoint(pose, in, out);
    out[0] += pose[3];
    out[1] += pose[4];
    out[2] += pose[5];
}

// Height of the bent board at board point (x, y): z = b1 (u² + v²) with one term,
// b1 u² + b2 v² with two, (u, v) = ((x, y) - centre) / halfExtent. x, y are numbers (board
// markers) or parameters (projected points).
template <typename T, typename U>
T boardBend(const T* bending, int terms, const U& x, const U& y, double cx, double cy,
            double half) {
    const U u = (x - cx) / half, v = (y - cy) / half;
    if (terms == 1) return bending[0] * (u * u + v * v);
    if (terms == 2) return bending[0] * (u * u) + bending[1] * (v * v);
    return T(0);
}
