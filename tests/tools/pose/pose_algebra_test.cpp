// Pose algebra and specstrings: values, properties and failure messages.
#include "pose_algebra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "pose_files.h"
#include "test_support.h"
#include "transform_string.h"

namespace {
constexpr float kRotTol = 1e-6f;       // float rounding of a rotation element
constexpr float kAngleTolDeg = 1e-5f;  // round-trip tolerance of pose angles
constexpr double kPi = 3.14159265358979323846;

struct Mat3 {
    double m[3][3];
};

Mat3 mul(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

// Rx(a)*Ry(b)*Rz(g) in double, angles in degrees: the independent reference.
Mat3 referenceRotation(double a, double b, double g) {
    a *= kPi / 180;
    b *= kPi / 180;
    g *= kPi / 180;
    const Mat3 rx{{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}};
    const Mat3 ry{{{std::cos(b), 0, std::sin(b)}, {0, 1, 0}, {-std::sin(b), 0, std::cos(b)}}};
    const Mat3 rz{{{std::cos(g), -std::sin(g), 0}, {std::sin(g), std::cos(g), 0}, {0, 0, 1}}};
    return mul(mul(rx, ry), rz);
}

void expectRotationNear(const Transform& t, const Mat3& expected, float tol) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(t.rot[i][j], expected.m[i][j], tol) << "element " << i << "," << j;
}

Transform parseOk(const std::string& text) {
    Transform t{};
    testing::internal::CaptureStdout();
    const int status = parseSpecString(text, &t);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0) << text;
    EXPECT_EQ(out, "") << text;
    return t;
}

const Mat3 kIdentity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
const Mat3 kQuarterTurnZ{{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
}  // namespace

TEST(SpecString, AcceptedKindsGiveTheirTransformations) {
    struct Case {
        std::string text;
        Mat3 rot;
        float trans[3];
    };
    const Case cases[] = {
        {"tt:1,2,3", kIdentity, {1, 2, 3}},
        {"tt:1, 2, 3", kIdentity, {1, 2, 3}},
        {"tt: 1 , 2 , 3", kIdentity, {1, 2, 3}},
        {"tt:1;2;3", kIdentity, {1, 2, 3}},
        {"tt:1,2,3,99 trailing text", kIdentity, {1, 2, 3}},
        {"tt:-1.5e1,0.25,7", kIdentity, {-15, 0.25f, 7}},
        {"tr:0,0,1,90", kQuarterTurnZ, {0, 0, 0}},
        {"tr:0,0,2,90", kQuarterTurnZ, {0, 0, 0}},
        {"tr:1,0,0,0", kIdentity, {0, 0, 0}},
        {"hp:1,2,3,10,20,30", referenceRotation(10, 20, 30), {1, 2, 3}},
        {"hp:0,0,0,-45,60,170", referenceRotation(-45, 60, 170), {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Transform t = parseOk(c.text);
        expectRotationNear(t, c.rot, kRotTol);
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(t.trans[i], c.trans[i]);
    }
}

TEST(SpecString, AxisIsNormalisedExactly) {
    const Transform a = parseOk("tr:0,0,1,90");
    const Transform b = parseOk("tr:0,0,2,90");
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(a.rot[i][j], b.rot[i][j]);
}

TEST(SpecString, QuarterTurnMapsXToY) {
    const Transform t = parseOk("tr:0,0,1,90");
    const float x[3] = {1, 0, 0};
    float y[3];
    multiplyRotationVector(t.rot, x, y);
    EXPECT_NEAR(y[0], 0, kRotTol);
    EXPECT_NEAR(y[1], 1, kRotTol);
    EXPECT_NEAR(y[2], 0, kRotTol);
}

TEST(SpecString, RejectedSpecsPrintTheirMessageAndLeaveTheOutputAlone) {
    const std::string rejected[] = {
        "xx:1,2,3",    "TT:1,2,3", "tt",           "",         "tt:1,2", "tt:1 2 3", "tt:",
        "tr:0,0,0,90", "tr:0,0,1", "hp:1,2,3,4,5", "tt:a,b,c",
    };
    for (const std::string& text : rejected) {
        SCOPED_TRACE(text);
        Transform t = identityTransform();
        t.trans[0] = 42.0f;
        testing::internal::CaptureStdout();
        EXPECT_EQ(parseSpecString(text, &t), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error!! in specstring " + text + "\n");
        EXPECT_EQ(t.trans[0], 42.0f);
    }
}

TEST(SpecString, MatrixFilesAreRowMajorForTmAndColumnMajorForGl) {
    TempDir dir;
    // A quarter turn about z with a translation, row by row, and the same matrix stored
    // column by column.
    writeFile(dir.file("m.txt"), "0 -1 0 4\n1 0 0 8\n0 0 1 12\n0 0 0 1\n");
    writeFile(dir.file("gl.txt"), "0 1 0 0\n-1 0 0 0\n0 0 1 0\n4 8 12 1\n");
    const Transform tm = parseOk("tm:" + dir.file("m.txt"));
    const Transform gl = parseOk("gl:" + dir.file("gl.txt"));
    const float r[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(tm.rot[i][j], r[i][j]);
            EXPECT_EQ(gl.rot[i][j], r[i][j]);
        }
        EXPECT_EQ(tm.trans[i], 4.0f * (i + 1));
        EXPECT_EQ(gl.trans[i], 4.0f * (i + 1));
    }
}

// A 4 x 4 that is not a rigid pose would be taken apart into a wrong transform: refused,
// naming the file and why, and the running pose is left as it was.
TEST(SpecString, MatrixFilesThatAreNotRigidPosesAreRefused) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* matrix;  // row-major
        const char* reason;
    };
    const Case cases[] = {
        {"zeros", "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 0\n", "last row is not 0 0 0 1"},
        {"zero rotation", "0 0 0 1\n0 0 0 2\n0 0 0 3\n0 0 0 1\n", "not orthonormal"},
        {"scale 2", "2 0 0 0\n0 2 0 0\n0 0 2 0\n0 0 0 1\n", "not orthonormal"},
        {"shear", "1 0.1 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n", "not orthonormal"},
        {"reflection", "1 0 0 0\n0 1 0 0\n0 0 -1 0\n0 0 0 1\n", "determinant -1"},
        {"projective row", "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0.5 1\n", "last row"},
        {"scaled last row", "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 2\n", "last row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("m.txt"), c.matrix);
        Transform t = identityTransform();
        t.trans[0] = 42.0f;
        testing::internal::CaptureStderr();
        EXPECT_EQ(parseSpecString("tm:" + dir.file("m.txt"), &t), -1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("matrix file " + dir.file("m.txt") + " is not a rigid pose: "),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(t.trans[0], 42.0f);
    }
    // Six significant digits of a rotation still pass.
    writeFile(dir.file("m.txt"), "0.939693 -0.34202 0 1\n0.34202 0.939693 0 2\n0 0 1 3\n0 0 0 1\n");
    Transform t{};
    EXPECT_EQ(parseSpecString("tm:" + dir.file("m.txt"), &t), 0);
}

TEST(SpecString, FileFailuresPrintTheReadersMessages) {
    TempDir dir;
    writeFile(dir.file("short.txt"), "1 2 3 4\n5 6 7 8\n");
    writeFile(dir.file("five.txt"), "1 2 3 4 5\n");
    struct Case {
        std::string text, out, err;
    };
    const std::string missing = dir.file("missing.txt");
    const Case cases[] = {
        {"tm:" + missing, "Can't open \"" + missing + "\" !\n", ""},
        {"gl:" + missing, "Can't open \"" + missing + "\" !\n", ""},
        {"hf:" + missing, "", "cannot open file " + missing + "\n"},
        {"tm:" + dir.file("short.txt"), "Error!! in specstring tm:" + dir.file("short.txt") + "\n",
         ""},
        {"hf:" + dir.file("five.txt"), "",
         "pose file " + dir.file("five.txt") + ": the first line does not hold six numbers\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Transform t = identityTransform();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(parseSpecString(c.text, &t), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    }
}

TEST(PoseAlgebra, PoseParamsRoundTripThroughTheMatrix) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-179.0f, 179.0f), tilt(-80.0f, 80.0f);
    for (int n = 0; n < 500; ++n) {
        const PoseParams p{1, -2, 3, any(rng), tilt(rng), any(rng)};
        const PoseParams back = matrixToPoseParams(poseParamsToMatrix(p));
        ASSERT_NEAR(back.alpha, p.alpha, kAngleTolDeg * 10) << n;
        ASSERT_NEAR(back.beta, p.beta, kAngleTolDeg * 10) << n;
        ASSERT_NEAR(back.gamma, p.gamma, kAngleTolDeg * 10) << n;
        EXPECT_EQ(back.tx, 1);
        EXPECT_EQ(back.ty, -2);
        EXPECT_EQ(back.tz, 3);
    }
    const PoseParams back = matrixToPoseParams(parseOk("hp:1,2,3,10,20,30"));
    EXPECT_NEAR(back.alpha, 10, kAngleTolDeg);
    EXPECT_NEAR(back.beta, 20, kAngleTolDeg);
    EXPECT_NEAR(back.gamma, 30, kAngleTolDeg);
}

TEST(PoseAlgebra, TransformFollowedByItsInverseIsTheIdentity) {
    const std::string specs[] = {"hp:10,-20,30,15,-25,35", "tr:1,2,3,47", "tt:5,6,7",
                                 "hp:0,0,100,170,-80,-170"};
    for (const std::string& text : specs) {
        SCOPED_TRACE(text);
        const Transform s = parseOk(text);
        Transform pose = identityTransform();
        composeTransform(s, &pose);
        composeTransform(invertTransform(s), &pose);
        const PoseParams p = matrixToPoseParams(pose);
        EXPECT_NEAR(p.alpha, 0, kAngleTolDeg);
        EXPECT_NEAR(p.beta, 0, kAngleTolDeg);
        EXPECT_NEAR(p.gamma, 0, kAngleTolDeg);
        EXPECT_NEAR(p.tx, 0, 1e-4);
        EXPECT_NEAR(p.ty, 0, 1e-4);
        EXPECT_NEAR(p.tz, 0, 1e-4);
    }
}

TEST(PoseAlgebra, GimbalLockKeepsTheSignOfBeta) {
    for (const float beta : {90.0f, -90.0f}) {
        SCOPED_TRACE(beta);
        const Transform t = poseParamsToMatrix(PoseParams{0, 0, 0, 0, beta, 30});
        const PoseParams p = matrixToPoseParams(t);
        EXPECT_EQ(p.beta, beta);
        EXPECT_EQ(p.alpha, 0.0f);
        // the written pose reproduces the rotation
        expectRotationNear(poseParamsToMatrix(p), referenceRotation(0, beta, 30), 1e-5f);
    }
}

TEST(PoseAlgebra, CompositionAppliesTheNewTransformOnTheLeft) {
    // tt:1,0,0 then tr:0,0,1,90: the rotation also turns the earlier translation.
    Transform pose = identityTransform();
    composeTransform(parseOk("tt:1,0,0"), &pose);
    composeTransform(parseOk("tr:0,0,1,90"), &pose);
    EXPECT_NEAR(pose.trans[0], 0, kRotTol);
    EXPECT_NEAR(pose.trans[1], 1, kRotTol);
    EXPECT_EQ(pose.trans[2], 0);
    expectRotationNear(pose, kQuarterTurnZ, kRotTol);
}
