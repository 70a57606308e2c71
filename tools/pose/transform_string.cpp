#include "transform_string.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "pose_files.h"

namespace {
constexpr double kHalfTurnRadians = 3.14159265358979323846;

// Reads "number sep number sep ... number" by stream extraction: white space before
// numbers and separators is skipped, any one non-blank character separates.
template <typename T>
bool readNumber(std::istream& in, bool separatorFirst, T* value) {
    if (separatorFirst) {
        char separator;
        if (!(in >> separator)) return false;
    }
    return static_cast<bool>(in >> *value);
}

bool readFloats(std::istream& in, int count, float* values) {
    for (int i = 0; i < count; ++i)
        if (!readNumber(in, i > 0, &values[i])) return false;
    return true;
}

int specError(const std::string& text) {
    std::cout << "Error!! in specstring " << text << std::endl;
    return -1;
}

int parseAxisAngle(const std::string& text, std::istream& body, Transform* out) {
    float axis[3];
    double degrees = 0.0;
    if (!readFloats(body, 3, axis) || !readNumber(body, true, &degrees)) return specError(text);
    Transform t = identityTransform();
    if (axisAngleToMatrix(axis[0], axis[1], axis[2], degrees * kHalfTurnRadians / 180.0, t.rot) !=
        0)
        return specError(text);
    *out = t;
    return 0;
}

int parseTranslation(const std::string& text, std::istream& body, Transform* out) {
    float v[3];
    if (!readFloats(body, 3, v)) return specError(text);
    Transform t = identityTransform();
    for (int i = 0; i < 3; ++i) t.trans[i] = v[i];
    *out = t;
    return 0;
}

int parsePoseParams(const std::string& text, std::istream& body, Transform* out) {
    float v[6];
    if (!readFloats(body, 6, v)) return specError(text);
    *out = poseParamsToMatrix(PoseParams{v[0], v[1], v[2], v[3], v[4], v[5]});
    return 0;
}

int parsePoseFile(const std::string& name, Transform* out) {
    PoseParams params{};
    const int status = readPoseFile(name, &params);
    if (status == kPoseFileShort)
        std::fprintf(stderr, "pose file %s: the first line does not hold six numbers\n",
                     name.c_str());
    if (status != kPoseFileRead) return -1;
    *out = poseParamsToMatrix(params);
    return 0;
}

// How far a matrix file may stray from a rigid pose: enough for values printed with six
// significant digits, far too little for a scale, a shear or a reflection.
constexpr double kRigidTolerance = 1e-4;

// "" when m (row-major 4 x 4) is a rigid pose [R t; 0 0 0 1], R a rotation; else why not.
std::string notRigidReason(const double m[4][4]) {
    for (int j = 0; j < 4; ++j)
        if (!(std::fabs(m[3][j] - (j == 3 ? 1.0 : 0.0)) <= kRigidTolerance))
            return "its last row is not 0 0 0 1";
    double worst = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double dot = 0;
            for (int k = 0; k < 3; ++k) dot += m[i][k] * m[j][k];
            worst = std::max(worst, std::fabs(dot - (i == j ? 1.0 : 0.0)));
        }
    if (!(worst <= kRigidTolerance))
        return "its rotation block is not orthonormal (R R^T differs from I by " +
               std::to_string(worst) + ": a scale, a shear or no rotation at all)";
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (det < 0) return "its rotation block has determinant -1 (a reflection, not a rotation)";
    return "";
}

// rowMajor: "tm:" (a[4i+j], translation a[3], a[7], a[11]);
// otherwise "gl:" (a[4j+i], translation a[12], a[13], a[14]).
int parseMatrixFile(const std::string& text, const std::string& name, bool rowMajor,
                    Transform* out) {
    std::vector<double> a;
    if (readMatrixFile(name, &a) != 0) return -1;
    if (a.size() < 16) return specError(text);
    double m[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m[i][j] = rowMajor ? a[4 * i + j] : a[4 * j + i];
    const std::string notRigid = notRigidReason(m);
    if (!notRigid.empty()) {
        std::fprintf(stderr, "matrix file %s is not a rigid pose: %s\n", name.c_str(),
                     notRigid.c_str());
        return -1;
    }
    Transform t{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) t.rot[i][j] = toSingle(rowMajor ? a[4 * i + j] : a[4 * j + i]);
        t.trans[i] = toSingle(rowMajor ? a[4 * i + 3] : a[12 + i]);
    }
    *out = t;
    return 0;
}
}  // namespace

int parseSpecString(const std::string& text, Transform* out) {
    if (text.size() < 3) return specError(text);
    const std::string kind = text.substr(0, 3);
    const std::string body = text.substr(3);
    std::istringstream in(body);
    if (kind == "tr:") return parseAxisAngle(text, in, out);
    if (kind == "tt:") return parseTranslation(text, in, out);
    if (kind == "hf:") return parsePoseFile(body, out);
    if (kind == "hp:") return parsePoseParams(text, in, out);
    if (kind == "tm:") return parseMatrixFile(text, body, true, out);
    if (kind == "gl:") return parseMatrixFile(text, body, false, out);
    return specError(text);
}
