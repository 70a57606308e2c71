// Point-file readers: traces, list contents and malformed input.
#include "point_files.h"

#include <gtest/gtest.h>

#include <functional>

#include "calib_fixture.h"
#include "test_support.h"

namespace {
std::string captureOut(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}
}  // namespace

TEST(ReadTrueNum, TraceAndList) {
    TempDir dir;
    writeFile(dir.file("t.txt"), "3\n7\n12\n\n\n");
    std::vector<int> list = {99};
    EXPECT_EQ(captureOut([&] { readTrueNum(dir.file("t.txt"), &list); }),
              "\nresd true num data\ntrue num  3 7 12  \n");
    EXPECT_EQ(list, (std::vector<int>{3, 7, 12}));
    writeFile(dir.file("e.txt"), "");
    EXPECT_EQ(captureOut([&] { readTrueNum(dir.file("e.txt"), &list); }),
              "\nresd true num data\ntrue num   \n");
    EXPECT_TRUE(list.empty());
}

// One grammar for every reader of a true-number file: the calibration programs accept and
// refuse the same files.
TEST(ReadTrueNum, EveryReaderTakesTheSameGrammar) {
    TempDir dir;
    struct Case {
        std::string content;
        std::vector<int> numbers;  // empty with a refusal
        std::string refusal;
    };
    const Case cases[] = {
        {"0\n1\n2\n", {0, 1, 2}, ""},
        {"0 1\n\t2  \n\n", {0, 1, 2}, ""},
        {"3 extra\n", {}, "line 1: not an image number: extra"},
        {"4\n5x\n", {}, "line 2: not an image number: 5x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeFile(dir.file("t.txt"), c.content);
        std::vector<int> traced;
        if (c.refusal.empty()) {
            EXPECT_EQ(loadTrueNumbers(dir.file("t.txt")), c.numbers);
            captureOut([&] { readTrueNum(dir.file("t.txt"), &traced); });
            EXPECT_EQ(traced, c.numbers);
            continue;
        }
        for (const std::function<void()>& read :
             {std::function<void()>([&] { loadTrueNumbers(dir.file("t.txt")); }),
              std::function<void()>([&] { readTrueNum(dir.file("t.txt"), &traced); })}) {
            try {
                read();
                ADD_FAILURE() << "accepted";
            } catch (const PointFileError& e) {
                EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
            }
        }
    }
}

TEST(ReadPoints, TracesAndAppendRules) {
    TempDir dir;
    writePointFile2(dir.file("p007.txt"), {{1.5f, 2}, {3, 4}});
    writeFile(dir.file("q007.txt"), "1\t2\t0\t\n3\t4\t0\t\n5\t6\t0\t\n");
    const std::vector<int> list = {7};
    std::vector<PointList2> p2(3);
    const std::string pattern = dir.file("p%03d.txt");
    EXPECT_EQ(captureOut([&] { read2dPoints(pattern, list, &p2); }),
              "\nread 2d_points_file data\n\nreading " + pattern + "\n" + dir.file("p007.txt") +
                  "\ndeta num = 2\n");
    ASSERT_EQ(p2.size(), 1u) << "replaced, not appended";
    EXPECT_EQ(p2[0][0], cv::Point2f(1.5f, 2));
    std::vector<PointList3> p3;
    EXPECT_EQ(captureOut([&] { read3dPoints(dir.file("q%03d.txt"), list, &p3); }),
              "\nread 3d_points_file data\n" + dir.file("q007.txt") + "\ndeta num = 3\n");
    EXPECT_EQ(p3[0][2], cv::Point3f(5, 6, 0));
    std::vector<PointList2> proj;
    EXPECT_EQ(captureOut([&] { read2dProjPoints(pattern, list, &proj); }),
              "\nread 2d_projpoints_file data\ndeta num = 2\n");
    captureOut([&] { read2dProjPoints(pattern, list, &proj); });
    EXPECT_EQ(proj.size(), 2u) << "appended";
    // an empty true-number list prints only the headers
    EXPECT_EQ(captureOut([&] { read2dPoints(pattern, {}, &p2); }), "\nread 2d_points_file data\n");
    EXPECT_TRUE(p2.empty());
}

TEST(ReadPoints, ManyDigitsGiveTheNearestFloat) {
    TempDir dir;
    writeFile(dir.file("p1.txt"), "123.456789012345 0.100000000001\n");
    std::vector<PointList2> p;
    captureOut([&] { read2dPoints(dir.file("p%d.txt"), {1}, &p); });
    EXPECT_EQ(p[0][0].x, static_cast<float>(123.456789012345));
    EXPECT_EQ(p[0][0].y, static_cast<float>(0.100000000001));
}

TEST(ReadPoints, MalformedAndMissingFilesThrowNamingTheFile) {
    TempDir dir;
    struct Case {
        std::string content, message;
    };
    const Case cases[] = {
        {"1 2\n\n3 4\n", "line 2: expected 2 numbers"}, {"1 2\n3\n", "line 2: expected 2 numbers"},
        {"1 x\n", "line 1: expected 2 numbers"},        {"nan 2\n", "line 1: expected 2 numbers"},
        {"1 inf\n", "line 1: expected 2 numbers"},      {"1 1e999\n", "line 1: expected 2 numbers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeFile(dir.file("p1.txt"), c.content);
        std::vector<PointList2> p;
        testing::internal::CaptureStdout();
        try {
            read2dPoints(dir.file("p%d.txt"), {1}, &p);
            ADD_FAILURE() << "no error";
        } catch (const PointFileError& e) {
            EXPECT_EQ(std::string(e.what()), dir.file("p1.txt") + " " + c.message);
        }
        testing::internal::GetCapturedStdout();
    }
    std::vector<int> list;
    testing::internal::CaptureStdout();
    EXPECT_THROW(readTrueNum(dir.file("none.txt"), &list), PointFileError);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("file cannot be read.\n"),
              std::string::npos);
}

TEST(LoadCorrespondences, PerViewTraceCountsAndLimits) {
    TempDir dir;
    std::vector<cv::Point2f> p2(40, {1, 2});
    std::vector<cv::Point3f> p3(40, {1, 2, 0});
    writeCameraRun(dir.path(), "pts", {7, 511}, {p2, p2}, p3, cv::Size(64, 48));
    Correspondences c;
    const std::string out = captureOut([&] {
        loadCorrespondences(dir.file("pts/cam_true_num.txt"), dir.file("pts/cam2D%03d.txt"),
                            dir.file("pts/cam3D%03d.txt"), &c);
    });
    EXPECT_EQ(out,
              "\nresd true num data\ntrue num  7 511  \n7\n\nread image num 7\n2D points / 3D "
              "points = 40 / 40\n"
              "511\n\nread image num 511\n2D points / 3D points = 40 / 40\n");
    EXPECT_EQ(c.pointCount[7], 40);
    EXPECT_EQ(c.imagePoints.size(), 2u);

    writeFile(dir.file("pts/t512.txt"), "512\n");
    Correspondences bad;
    testing::internal::CaptureStdout();
    EXPECT_THROW(loadCorrespondences(dir.file("pts/t512.txt"), dir.file("pts/cam2D%03d.txt"),
                                     dir.file("pts/cam3D%03d.txt"), &bad),
                 std::out_of_range);
    testing::internal::GetCapturedStdout();

    writePointFile2(dir.file("pts/cam2D007.txt"), std::vector<cv::Point2f>(39, {1, 2}));
    Correspondences unequal;
    testing::internal::CaptureStdout();
    try {
        loadCorrespondences(dir.file("pts/cam_true_num.txt"), dir.file("pts/cam2D%03d.txt"),
                            dir.file("pts/cam3D%03d.txt"), &unequal);
        ADD_FAILURE() << "no error";
    } catch (const PointFileError& e) {
        EXPECT_NE(std::string(e.what()).find("view 0 (image 7): 39 points in"), std::string::npos)
            << e.what();
    }
    testing::internal::GetCapturedStdout();
}
