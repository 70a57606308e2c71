#include "camera_param.h"

#include <cmath>
#include <cstdio>

#include "engine_context.h"

void setCameraParams(const CameraParam& param) {
    defaultEngine().camera = param;
}

const CameraParam& installedCameraParams() {
    return defaultEngine().camera;
}

void observedToIdeal(const double distortion[4], double ox, double oy, double* ix, double* iy) {
    const double cx = distortion[0], cy = distortion[1];
    const double p = distortion[2] / 100000000.0;
    const double s = distortion[3];
    double dx = ox - cx, dy = oy - cy;
    double z2 = dx * dx + dy * dy;
    const double q = std::sqrt(z2);
    double z = q;
    if (z == 0.0) {
        *ix = cx;
        *iy = cy;
        return;
    }
    // Exactly three Newton steps, no convergence test: results must not depend on
    // a tolerance.
    for (int step = 1;; ++step) {
        const double zNew = z - ((1.0 - p * z2) * z - q) / (1.0 - 3.0 * p * z2);
        dx = dx * zNew / z;
        dy = dy * zNew / z;
        if (step == 3) break;
        z2 = dx * dx + dy * dy;
        z = std::sqrt(z2);
        if (z == 0.0) {
            *ix = cx;
            *iy = cy;
            return;
        }
    }
    *ix = dx / s + cx;
    *iy = dy / s + cy;
}
