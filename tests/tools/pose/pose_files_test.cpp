// Pose file, matrix file and OpenGL file formats.
#include "pose_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "transform_string.h"

TEST(PoseFile, ReaderTakesSixNumbersOfTheFirstLine) {
    struct Case {
        std::string content;
        int status;
        PoseParams expected;
    };
    const Case cases[] = {
        {"1 2 3 10 20 30\n7 7 7 7 7 7\n", kPoseFileRead, {1, 2, 3, 10, 20, 30}},
        {"1\t2\t3\t10\t20\t30", kPoseFileRead, {1, 2, 3, 10, 20, 30}},
        {"1 2 3 10 20 30 40 extra", kPoseFileRead, {1, 2, 3, 10, 20, 30}},
        // converted numbers are kept, the rest stays as the caller set it (0)
        {"1 2 3 4 5\n6\n", kPoseFileShort, {1, 2, 3, 4, 5, 0}},
        {"1 2 x 4 5 6\n", kPoseFileShort, {1, 2, 0, 0, 0, 0}},
        {"", kPoseFileShort, {0, 0, 0, 0, 0, 0}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeFile(dir.file("pose.txt"), c.content);
        PoseParams p{};
        EXPECT_EQ(readPoseFile(dir.file("pose.txt"), &p), c.status);
        const float got[6] = {p.tx, p.ty, p.tz, p.alpha, p.beta, p.gamma};
        const float want[6] = {c.expected.tx,    c.expected.ty,   c.expected.tz,
                               c.expected.alpha, c.expected.beta, c.expected.gamma};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], want[i]) << "field " << i;
    }
}

TEST(PoseFile, MissingFileIsReportedOnStderr) {
    TempDir dir;
    PoseParams p{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(readPoseFile(dir.file("none.txt"), &p), kPoseFileUnopened);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot open file " + dir.file("none.txt") + "\n");
}

TEST(PoseFile, IdentityIsWrittenWithTwoNegativeZeros) {
    TempDir dir;
    ASSERT_EQ(writePoseFile(matrixToPoseParams(identityTransform()), dir.file("id.txt")), 0);
    EXPECT_EQ(readFile(dir.file("id.txt")),
              "0.000000\t0.000000\t0.000000\t-0.000000\t0.000000\t-0.000000");
}

TEST(PoseFile, WrittenFileReadsBack) {
    TempDir dir;
    const PoseParams p{1.5f, -2.25f, 300.125f, 10, -20, 175};
    ASSERT_EQ(writePoseFile(p, dir.file("p.txt")), 0);
    PoseParams q{};
    ASSERT_EQ(readPoseFile(dir.file("p.txt"), &q), kPoseFileRead);
    EXPECT_EQ(q.tx, p.tx);
    EXPECT_EQ(q.tz, p.tz);
    EXPECT_EQ(q.gamma, p.gamma);
}

TEST(MatrixFile, LayoutsAndCommentsGiveTheSameValues) {
    std::vector<double> sixteen;
    for (int i = 1; i <= 16; ++i) sixteen.push_back(i);
    struct Case {
        std::string content;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {"1 2 3 4\n5 6 7 8\n9 10 11 12\n13 14 15 16\n", sixteen},
        {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n", sixteen},
        {"# a comment 99 98\n1, 2, 3, 4,\n5, 6 7 8 9 10 11 12 13 14 15 16", sixteen},
        {"% matlab comment 1 2\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", sixteen},
        {"1 2 #x 3\n3", {1, 2, 3}},
        {"1, 2,3, ,4", {1, 2, 3, 4}},  // commas next to blanks separate too
        {"", {}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeFile(dir.file("m.txt"), c.content);
        std::vector<double> values{42.0};
        EXPECT_EQ(readMatrixFile(dir.file("m.txt"), &values), 0);
        EXPECT_EQ(values, c.expected);
    }
}

// Anything but numbers would shift or invent values: the file is refused, naming the piece.
TEST(MatrixFile, GarbageAndNonFiniteNumbersAreRefused) {
    TempDir dir;
    for (const std::string& content :
         {std::string("1,,2"), std::string("1 2 abc 4"), std::string("1 2 7x"),
          std::string("1 inf 3"), std::string("1e999 2"),
          std::string("\x89PNG\r\n\x1a\n\x01\x02")}) {
        SCOPED_TRACE(content);
        writeFile(dir.file("m.txt"), content);
        std::vector<double> values;
        EXPECT_EQ(readMatrixFile(dir.file("m.txt"), &values), -1);
    }
    std::vector<double> values;
    EXPECT_EQ(readMatrixFile(dir.path(), &values), -1) << "a directory";
}

TEST(GlMatrixFile, IdentityTextAndReadBack) {
    TempDir dir;
    ASSERT_EQ(writeGlMatrixFile(identityTransform(), dir.file("gl.txt")), 0);
    EXPECT_EQ(readFile(dir.file("gl.txt")), "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1,");
}

TEST(GlMatrixFile, WrittenFileReadsBackAsTheSamePose) {
    TempDir dir;
    Transform pose{};
    ASSERT_EQ(parseSpecString("hp:12.5,-3,400,20,-35,110", &pose), 0);
    ASSERT_EQ(writeGlMatrixFile(pose, dir.file("gl.txt")), 0);
    Transform back{};
    ASSERT_EQ(parseSpecString("gl:" + dir.file("gl.txt"), &back), 0);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(back.rot[i][j], pose.rot[i][j], 1e-5);
        EXPECT_NEAR(back.trans[i], pose.trans[i], 1e-5 * std::max(1.0f, std::abs(pose.trans[i])));
    }
}
