// The pose calculator's records as its files hold them.
//
// A Transform maps a point p to rot * p + trans; rot is row-major (rot[i][j] = row i,
// column j). Pose parameters are tx, ty, tz (translation) and alpha, beta, gamma
// (degrees about x, y, z) with rot = Rx(alpha)*Ry(beta)*Rz(gamma).
#pragma once

struct Transform {
    float rot[3][3];
    float trans[3];
};

struct PoseParams {
    float tx, ty, tz;          // translation
    float alpha, beta, gamma;  // degrees about x, y, z
};
