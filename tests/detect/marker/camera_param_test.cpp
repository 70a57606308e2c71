// Camera parameter file, rescaling and the distortion inverse.
#include "camera_param.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "test_support.h"

namespace {
CameraParam sampleParam() {
    CameraParam p{};
    p.width = 640;
    p.height = 480;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.projection[r][c] = 100.0 * r + c + 0.125;
    p.distortion[0] = 320.5;
    p.distortion[1] = 240.25;
    p.distortion[2] = 12.5;
    p.distortion[3] = 0.98;
    return p;
}

// Forward distortion model: ideal (ix, iy) to observed.
void idealToObserved(const double d[4], double ix, double iy, double* ox, double* oy) {
    const double p = d[2] / 100000000.0;
    const double x = (ix - d[0]) * d[3], y = (iy - d[1]) * d[3];
    const double z2 = x * x + y * y;
    const double factor = 1.0 - p * z2;
    *ox = x * factor + d[0];
    *oy = y * factor + d[1];
}
}  // namespace

TEST(CameraParamFile, RoundTripIsBitIdenticalAndBigEndian) {
    TempDir dir;
    const CameraParam in[2] = {sampleParam(), scaleCameraParams(sampleParam(), 1280, 960)};
    CameraParam copy[2];
    std::memcpy(copy, in, sizeof in);
    ASSERT_EQ(saveCameraParams(dir.file("cp.dat").c_str(), 2, in), 0);
    EXPECT_EQ(std::memcmp(copy, in, sizeof in), 0) << "caller's records changed";
    const std::string bytes = readFile(dir.file("cp.dat"));
    ASSERT_EQ(bytes.size(), 2u * kCameraParamRecordBytes);
    // width 640 = 0x00000280, most significant byte first
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x00\x02\x80", 4));
    // projection[0][0] = 0.125 = 0x3FC0000000000000
    EXPECT_EQ(bytes.substr(8, 8), std::string("\x3F\xC0\x00\x00\x00\x00\x00\x00", 8));
    CameraParam out[2];
    ASSERT_EQ(loadCameraParams(dir.file("cp.dat").c_str(), 2, out), 0);
    EXPECT_EQ(std::memcmp(out, in, sizeof in), 0);
}

TEST(CameraParamFile, RecordCountsAgainstFileSizes) {
    TempDir dir;
    struct Case {
        std::size_t bytes;
        int records;
        int status;
    };
    const Case cases[] = {{135, 1, -1}, {136, 1, 0},  {272, 2, 0},
                          {300, 2, 0},  {271, 2, -1}, {0, 1, -1}};
    const CameraParam twice[3] = {sampleParam(), sampleParam(), sampleParam()};
    ASSERT_EQ(saveCameraParams(dir.file("full.dat").c_str(), 3, twice), 0);
    const std::string full = readFile(dir.file("full.dat"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        writeFile(dir.file("cut.dat"), full.substr(0, c.bytes));
        CameraParam out[2];
        EXPECT_EQ(loadCameraParams(dir.file("cut.dat").c_str(), c.records, out), c.status);
    }
    CameraParam out;
    EXPECT_EQ(loadCameraParams(dir.file("full.dat").c_str(), 0, &out), -1);
    EXPECT_EQ(loadCameraParams(dir.file("missing.dat").c_str(), 1, &out), -1);
    EXPECT_EQ(saveCameraParams(dir.file("full.dat").c_str(), 0, &out), -1);
    EXPECT_EQ(saveCameraParams(dir.file("no/dir.dat").c_str(), 1, &out), -1);
}

TEST(CameraParamScale, SameWidthChangesOnlyTheHeight) {
    const CameraParam p = sampleParam();
    const CameraParam q = scaleCameraParams(p, 640, 400);
    EXPECT_EQ(q.height, 400);
    CameraParam expected = p;
    expected.height = 400;
    EXPECT_EQ(std::memcmp(&q, &expected, sizeof q), 0);
}

TEST(CameraParamScale, DoublingTheWidth) {
    const CameraParam p = sampleParam();
    const CameraParam q = scaleCameraParams(p, 1280, 960);
    EXPECT_EQ(q.width, 1280);
    EXPECT_EQ(q.height, 960);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(q.projection[0][c], 2 * p.projection[0][c]);
        EXPECT_EQ(q.projection[1][c], 2 * p.projection[1][c]);
        EXPECT_EQ(q.projection[2][c], p.projection[2][c]);
    }
    EXPECT_EQ(q.distortion[0], 2 * p.distortion[0]);
    EXPECT_EQ(q.distortion[1], 2 * p.distortion[1]);
    EXPECT_EQ(q.distortion[2], p.distortion[2] / 4);
    EXPECT_EQ(q.distortion[3], p.distortion[3]);
}

TEST(ObservedToIdeal, CentreAndIdentity) {
    const CameraParam p = sampleParam();
    double x, y;
    observedToIdeal(p.distortion, p.distortion[0], p.distortion[1], &x, &y);
    EXPECT_EQ(x, p.distortion[0]);
    EXPECT_EQ(y, p.distortion[1]);
    const double identity[4] = {320, 240, 0.0, 1.0};
    for (const double ox : {0.0, 17.25, 639.0})
        for (const double oy : {0.0, 100.5, 479.0}) {
            observedToIdeal(identity, ox, oy, &x, &y);
            EXPECT_DOUBLE_EQ(x, ox);
            EXPECT_DOUBLE_EQ(y, oy);
        }
}

TEST(ObservedToIdeal, InvertsTheDistortionModel) {
    const CameraParam p = sampleParam();
    double farthest = 0;  // the round trip says nothing where the distortion moves nothing
    for (double ix = 10; ix < 640; ix += 77)
        for (double iy = 5; iy < 480; iy += 53) {
            double ox, oy, x, y;
            idealToObserved(p.distortion, ix, iy, &ox, &oy);
            observedToIdeal(p.distortion, ox, oy, &x, &y);
            EXPECT_NEAR(x, ix, 1e-6);
            EXPECT_NEAR(y, iy, 1e-6);
            farthest = std::max(farthest, std::hypot(ox - ix, oy - iy));
        }
    EXPECT_GT(farthest, 1.0) << "px the distortion moves a point at most";
}

TEST(CameraParamIdentity, SizeIdentityDistortionAndUnitProjectionRows) {
    const CameraParam p = identityCameraParams(640, 480);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    for (const auto& row : p.projection) {
        EXPECT_EQ(row[0], 1.0);
        EXPECT_EQ(row[1], 1.0);
        EXPECT_EQ(row[2], 1.0);
        EXPECT_EQ(row[3], 0.0);
    }
    EXPECT_EQ(p.distortion[0], 640.0);
    EXPECT_EQ(p.distortion[1], 480.0);
    EXPECT_EQ(p.distortion[2], 0.0);
    EXPECT_EQ(p.distortion[3], 1.0);
    double x, y;
    observedToIdeal(p.distortion, 12.5, 400.25, &x, &y);
    EXPECT_DOUBLE_EQ(x, 12.5);
    EXPECT_DOUBLE_EQ(y, 400.25);
}
