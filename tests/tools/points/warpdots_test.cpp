// warpdots as a program: both directions against OpenCV, exact formats, bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/calib3d.hpp>

#include "calib_fixture.h"
#include "test_support.h"

namespace {
constexpr double kRoundTripPx = 0.01;

class Warpdots : public testing::Test {
  protected:
    void SetUp() override {
        writeTrueNumbers(dir.file("t.txt"), {2, 5});
        for (int n : {2, 5}) {
            std::vector<cv::Point2f> pts;
            for (int i = 0; i < 30; ++i) pts.emplace_back(40.0f + 19 * i + n, 30.0f + 14 * i);
            writePointFile2(dir.file(cv::format("p%03d.txt", n)), pts);
            input.push_back(pts);
        }
        writeFile(dir.file("K.txt"), "700 0 322.5 0 703 236.25 0 0 1\n");
        writeFile(dir.file("D.txt"), "-0.2 0.08 0.001 -0.002\n");
    }
    ProgramResult run(std::vector<std::string> extra = {}) {
        std::vector<std::string> a = {"t.txt", "K.txt", "D.txt", "p%03d.txt", "o%03d.txt"};
        a.insert(a.end(), extra.begin(), extra.end());
        return runProgram(programPath("warpdots"), a, dir.path());
    }
    std::vector<cv::Point2f> output(int n) const {
        std::vector<cv::Point2f> pts;
        const std::vector<double> v = readValues(dir.file(cv::format("o%03d.txt", n)));
        for (std::size_t i = 0; i + 1 < v.size(); i += 2)
            pts.emplace_back(static_cast<float>(v[i]), static_cast<float>(v[i + 1]));
        return pts;
    }
    TempDir dir;
    std::vector<std::vector<cv::Point2f>> input;
    const cv::Matx33d k{700, 0, 322.5, 0, 703, 236.25, 0, 0, 1};
};
}  // namespace

TEST_F(Warpdots, UsageLineWithFewerThanFiveArguments) {
    const ProgramResult r = runProgram(programPath("warpdots"), {"a", "b"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "[true num txt][camMat txt][dist txt][2D point txt][output 2D point txt][distort "
              "points:1 undist "
              "points:0]\n");
}

TEST_F(Warpdots, DistortMatchesProjectPointsAndUndistortInvertsIt) {
    ASSERT_EQ(run({"1"}).status, 0);
    const std::vector<cv::Point2f> distorted = output(5);
    // reference: the normalised points through OpenCV's lens model
    std::vector<cv::Point3f> rays;
    for (const cv::Point2f& p : input[1])
        rays.emplace_back(static_cast<float>((p.x - 322.5) / 700),
                          static_cast<float>((p.y - 236.25) / 703), 1.0f);
    std::vector<cv::Point2f> expected;
    cv::projectPoints(rays, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), k,
                      cv::Vec4d(-0.2, 0.08, 0.001, -0.002), expected);
    ASSERT_EQ(distorted.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(distorted[i].x, expected[i].x, 1e-3 * std::max(1.0f, std::abs(expected[i].x)));
        EXPECT_NEAR(distorted[i].y, expected[i].y, 1e-3 * std::max(1.0f, std::abs(expected[i].y)));
    }
    // distort, then undistort the result: the input comes back
    for (int n : {2, 5})
        std::filesystem::copy_file(dir.file(cv::format("o%03d.txt", n)),
                                   dir.file(cv::format("d%03d.txt", n)));
    const ProgramResult r =
        runProgram(programPath("warpdots"),
                   {"t.txt", "K.txt", "D.txt", "d%03d.txt", "o%03d.txt", "0"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<cv::Point2f> back = output(5);
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_NEAR(back[i].x, input[1][i].x, kRoundTripPx);
        EXPECT_NEAR(back[i].y, input[1][i].y, kRoundTripPx);
    }
}

TEST_F(Warpdots, ZeroDistortionIsTheIdentityInBothDirections) {
    writeFile(dir.file("D.txt"), "0 0 0 0\n\n");
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{}, std::vector<std::string>{"1"}}) {
        ASSERT_EQ(run(mode).status, 0);
        const std::vector<cv::Point2f> out = output(2);
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_NEAR(out[i].x, input[0][i].x, 1e-3);
            EXPECT_NEAR(out[i].y, input[0][i].y, 1e-3);
        }
    }
}

TEST_F(Warpdots, TraceAndOutputFormat) {
    writePointFile2(dir.file("p002.txt"), {{320, 240.5f}});
    writeFile(dir.file("D.txt"), "0 0 0 0\n");
    const ProgramResult r = run({"7"});  // any number but 1 undistorts
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.file("o002.txt")), "320  240.5\n");
    const std::string echo =
        "true num file name;t.txt\ncamMat file name;K.txt\ndist file name;D.txt\n2D point file "
        "name:p%03d.txt\n"
        "output 2D point file name:o%03d.txt\n";
    EXPECT_EQ(r.out.substr(0, echo.size()), echo);
    EXPECT_NE(
        r.out.find(
            "set_camMat_name = K.txt\n\nread camMat\n\ncamMat =700 0 322.5\n0 703 236.25\n0 0 1\n"
            "distfile_name = D.txt\n\nread dist param\n\ndist param =0 0 0 0\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("do undist points\noutput_2d_name = o%03d.txt\n"), std::string::npos);
}

TEST_F(Warpdots, FullCalibratedModelIsUsed) {
    // eight coefficients, as lensrig writes in its rational mode
    const cv::Mat d =
        (cv::Mat_<double>(1, 8) << -0.2, 0.1, 0.001, -0.0015, 0.02, 0.05, -0.02, 0.01);
    writeFile(dir.file("D.txt"), "-0.2 0.1 0.001 -0.0015 0.02 0.05 -0.02 0.01\n");
    ASSERT_EQ(run().status, 0);
    std::vector<cv::Point2f> expected;
    cv::undistortPoints(input[0], expected, k, d, cv::noArray(), k);
    const std::vector<cv::Point2f> out = output(2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_NEAR(out[i].x, expected[i].x, 1e-3);
        EXPECT_NEAR(out[i].y, expected[i].y, 1e-3);
    }
}

TEST_F(Warpdots, BadInputIsRefused) {
    struct Case {
        std::string name, k, d;
        std::string err;
    };
    const Case cases[] = {
        {"matrix over three lines", "700 0 322.5\n0 703 236.25\n0 0 1\n", "0 0 0 0\n",
         "nine numbers on one line, found 3"},
        {"eight matrix values", "700 0 322.5 0 703 236.25 0 0\n", "0 0 0 0\n", "found 8"},
        {"six coefficients", "700 0 322.5 0 703 236.25 0 0 1\n", "0 0 0 0 0 0\n",
         "4, 5, 8, 12 or 14 coefficients, found 6"},
        {"letters", "700 0 322.5 0 703 236.25 0 0 1\n", "0 0 x 0\n", "not a number: x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("K.txt"), c.k);
        writeFile(dir.file("D.txt"), c.d);
        const ProgramResult r = run();
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    writeFile(dir.file("K.txt"), "700 0 322.5 0 703 236.25 0 0 1\n");
    std::filesystem::remove(dir.file("D.txt"));
    const ProgramResult missing = run();
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("file cannot be read.\n"), std::string::npos);
}

TEST_F(Warpdots, EmptyListsGiveEmptyFilesAndUnwritableOutputsAreReported) {
    writeFile(dir.file("p002.txt"), "");
    ASSERT_EQ(run().status, 0);
    EXPECT_EQ(readFile(dir.file("o002.txt")), "");
    const ProgramResult r =
        runProgram(programPath("warpdots"),
                   {"t.txt", "K.txt", "D.txt", "p%03d.txt", "no/o%03d.txt"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write no/o002.txt"), std::string::npos);
}

TEST_F(Warpdots, RationalLensIsInvertedToConvergence) {
    // A rational lens as lensrig fits it (k1 k2 p1 p2 k3 k4 k5 k6): OpenCV's five default
    // steps fall short of the inverse in the image corners.
    writeFile(dir.file("K.txt"), "1436.36 0 658.378 0 1433.97 492.466 0 0 1\n");
    writeFile(dir.file("D.txt"),
              "-0.323051 -4.65272 0.000861706 -0.000859321 -31.5908 -0.20328 -4.58065 -33.5394\n");
    const cv::Matx33d camera(1436.36, 0, 658.378, 0, 1433.97, 492.466, 0, 0, 1);
    const cv::Mat lens = (cv::Mat_<double>(1, 8) << -0.323051, -4.65272, 0.000861706, -0.000859321,
                          -31.5908, -0.20328, -4.58065, -33.5394);
    const std::vector<cv::Point2f> ideal = {{15, 12},    {1270, 20}, {25, 950},
                                            {1265, 940}, {640, 480}, {200, 800}};
    std::vector<cv::Point3f> rays;
    for (const cv::Point2f& p : ideal)
        rays.emplace_back(static_cast<float>((p.x - 658.378) / 1436.36),
                          static_cast<float>((p.y - 492.466) / 1433.97), 1.0f);
    std::vector<cv::Point2f> distorted;
    cv::projectPoints(rays, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), camera, lens, distorted);
    writeTrueNumbers(dir.file("t.txt"), {2});
    writePointFile2(dir.file("p002.txt"), distorted);
    ASSERT_EQ(run().status, 0);
    const std::vector<cv::Point2f> back = output(2);
    ASSERT_EQ(back.size(), ideal.size());
    for (std::size_t i = 0; i < ideal.size(); ++i) {
        EXPECT_NEAR(back[i].x, ideal[i].x, kRoundTripPx) << i;
        EXPECT_NEAR(back[i].y, ideal[i].y, kRoundTripPx) << i;
    }
}

// k1 = -1 folds at normalised radius 1/sqrt(3): no undistorted point maps beyond 0.385,
// so the outer points of the lists have no inverse. They are named, kept, and the exit
// status says the result cannot be trusted.
TEST_F(Warpdots, PointsBeyondTheFoldAreNamedAndEndWithStatusThree) {
    writeFile(dir.file("D.txt"), "-1 0 0 0\n");
    const ProgramResult r = run();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("could not be undistorted reliably"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  p002.txt line 1 (42, 30): "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lensrig mode 2"), std::string::npos);
    EXPECT_EQ(r.err.find("p002.txt line 15 "), std::string::npos) << "the centre inverts";
    EXPECT_EQ(output(2).size(), 30u) << "the output keeps every point";
    EXPECT_EQ(output(5).size(), 30u);
    // Distorting is defined everywhere inside the fold.
    EXPECT_EQ(run({"1"}).status, 0);
}
