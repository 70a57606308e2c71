#include "pose_algebra.h"

#include <cmath>
#include <limits>

float toSingle(double v) {
    if (v > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (v < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

Transform identityTransform() {
    Transform t{};
    for (int i = 0; i < 3; ++i) t.rot[i][i] = 1.0f;
    return t;
}

void multiplyRotations(const float a[3][3], const float b[3][3], float out[3][3]) {
    float result[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) sum = sum + a[i][k] * b[k][j];
            result[i][j] = sum;
        }
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[i][j] = result[i][j];
}

void multiplyRotationVector(const float a[3][3], const float v[3], float out[3]) {
    float result[3];
    for (int i = 0; i < 3; ++i) {
        float sum = 0.0f;
        for (int k = 0; k < 3; ++k) sum = sum + a[i][k] * v[k];
        result[i] = sum;
    }
    for (int i = 0; i < 3; ++i) out[i] = result[i];
}

int axisAngleToMatrix(float x, float y, float z, double angleRad, float rot[3][3]) {
    const float norm2 = x * x + y * y + z * z;
    const float norm = static_cast<float>(std::sqrt(static_cast<double>(norm2)));
    if (!(norm > 0.0f) || !std::isfinite(norm)) return -1;
    const float ux = x / norm, uy = y / norm, uz = z / norm;

    const float half = toSingle(angleRad) * 0.5f;
    const float s = static_cast<float>(std::sin(static_cast<double>(half)));
    const float w = static_cast<float>(std::cos(static_cast<double>(half)));
    const float qx = ux * s, qy = uy * s, qz = uz * s;

    const float n = qx * qx + qy * qy + qz * qz + w * w;
    const double v = n > 0.0f ? 2.0 / n : 0.0;
    // Each element: float products and sums, widened to double for the last step.
    rot[0][0] = static_cast<float>(1.0 - v * (qy * qy + qz * qz));
    rot[0][1] = static_cast<float>(v * (qx * qy - w * qz));
    rot[0][2] = static_cast<float>(v * (qx * qz + w * qy));
    rot[1][0] = static_cast<float>(v * (qx * qy + w * qz));
    rot[1][1] = static_cast<float>(1.0 - v * (qx * qx + qz * qz));
    rot[1][2] = static_cast<float>(v * (qy * qz - w * qx));
    rot[2][0] = static_cast<float>(v * (qx * qz - w * qy));
    rot[2][1] = static_cast<float>(v * (qy * qz + w * qx));
    rot[2][2] = static_cast<float>(1.0 - v * (qx * qx + qy * qy));
    return 0;
}

namespace {
constexpr double kPi = 3.14159265358979323846;

void cosSinDegrees(float degrees, float* c, float* s) {
    const float rad = static_cast<float>(degrees * kPi / 180.0);
    *c = static_cast<float>(std::cos(static_cast<double>(rad)));
    *s = static_cast<float>(std::sin(static_cast<double>(rad)));
}

float radiansToDegrees(double radians) {
    return static_cast<float>(static_cast<float>(radians) * 180.0 / kPi);
}
}  // namespace

Transform poseParamsToMatrix(const PoseParams& p) {
    float cg, sg, cb, sb, ca, sa;
    cosSinDegrees(p.gamma, &cg, &sg);
    cosSinDegrees(p.beta, &cb, &sb);
    cosSinDegrees(p.alpha, &ca, &sa);
    const float rz[3][3] = {{cg, -sg, 0.0f}, {sg, cg, 0.0f}, {0.0f, 0.0f, 1.0f}};
    const float ry[3][3] = {{cb, 0.0f, sb}, {0.0f, 1.0f, 0.0f}, {-sb, 0.0f, cb}};
    const float rx[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, ca, -sa}, {0.0f, sa, ca}};
    Transform t{};
    float rxy[3][3];
    multiplyRotations(rx, ry, rxy);
    multiplyRotations(rxy, rz, t.rot);
    t.trans[0] = p.tx;
    t.trans[1] = p.ty;
    t.trans[2] = p.tz;
    return t;
}

void composeTransform(const Transform& applied, Transform* pose) {
    multiplyRotations(applied.rot, pose->rot, pose->rot);
    float moved[3];
    multiplyRotationVector(applied.rot, pose->trans, moved);
    for (int i = 0; i < 3; ++i) pose->trans[i] = moved[i] + applied.trans[i];
}

Transform invertTransform(const Transform& transform) {
    Transform inv{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) inv.rot[i][j] = transform.rot[j][i];
    float moved[3];
    multiplyRotationVector(inv.rot, transform.trans, moved);
    for (int i = 0; i < 3; ++i) inv.trans[i] = -moved[i];
    return inv;
}

void scaleTranslation(float k, Transform* pose) {
    for (float& v : pose->trans) v = k * v;
}

PoseParams matrixToPoseParams(const Transform& t) {
    const float(*r)[3] = t.rot;
    PoseParams p{};
    p.tx = t.trans[0];
    p.ty = t.trans[1];
    p.tz = t.trans[2];
    const float sum = r[0][0] * r[0][0] + r[0][1] * r[0][1];
    const double x = std::sqrt(static_cast<double>(sum));
    const float beta = static_cast<float>(std::atan2(static_cast<double>(r[0][2]), x));
    if (std::fabs(x) < 1e-4) {
        // Gimbal lock: only alpha + gamma is defined; put it all into gamma. beta keeps
        // the sign of rot[0][2] (+90 or -90) so that the pose reproduces the rotation.
        p.alpha = 0.0f;
        p.gamma = radiansToDegrees(
            std::atan2(static_cast<double>(r[1][0]), static_cast<double>(r[1][1])));
        p.beta = r[0][2] < 0.0f ? -90.0f : 90.0f;
        return p;
    }
    const double gamma =
        std::atan2(-static_cast<double>(r[0][1]) / x, static_cast<double>(r[0][0]) / x);
    const double alpha =
        std::atan2(-static_cast<double>(r[1][2]) / x, static_cast<double>(r[2][2]) / x);
    p.alpha = radiansToDegrees(alpha);
    p.beta = radiansToDegrees(beta);
    p.gamma = radiansToDegrees(gamma);
    return p;
}
