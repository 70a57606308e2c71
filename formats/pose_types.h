// The pose calculator's records as its files hold them.
//
// A Transform maps p to rot * p + trans, rot row-major; rot = Rx(alpha)*Ry(beta)*Rz(gamma)
// for the pose parameters (docs/conventions.md, the pose calculator's poses).
#pragma once

struct Transform {
    float rot[3][3];
    float trans[3];
};

struct PoseParams {
    float tx, ty, tz;          // translation
    float alpha, beta, gamma;  // degrees about x, y, z
};
