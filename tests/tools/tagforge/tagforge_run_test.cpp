// The tagforge commands run in-process: their exit statuses and messages, and a small scene
// that must be the one its truth file describes.
#include "tagforge_run.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {
struct RunResult {
    int status;
    std::string out, err;
};

RunResult runInProcess(std::vector<std::string> args) {
    args.insert(args.begin(), "tagforge");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = runTagforge(static_cast<int>(argv.size()), argv.data());
    RunResult r{status, testing::internal::GetCapturedStdout(), ""};
    r.err = testing::internal::GetCapturedStderr();
    return r;
}
}  // namespace

TEST(TagforgeRun, ExitStatusAndMessageForEachKindOfCommandLine) {
    TempDir dir;
    const std::string scene = dir.file("s");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outPart, errPart;
    };
    const Case cases[] = {
        {{}, 1, "Usage: tagforge COMMAND", ""},
        {{"--help"}, 0, "scene       synthetic working directory", ""},
        {{"paint"}, 1, "Usage: tagforge COMMAND", "tagforge: unknown command paint"},
        {{"scene", "--help"}, 0, "--black-level", ""},
        {{"board", "-h"}, 0, "--mark-size", ""},
        {{"scene"}, 1, "", "tagforge scene: --out is required"},
        {{"scene", "--out", scene, "--views"}, 1, "", "--views needs a value"},
        {{"scene", "--out", scene, "--camera", "63x480"}, 1, "", "bad value for --camera: 63x480"},
        {{"scene", "--out", scene, "--tilt", "10:80"}, 1, "", "bad value for --tilt: 10:80"},
        {{"scene", "--out", scene, "--gamma", "x"}, 1, "", "bad value for --gamma: x"},
        {{"camparam", "--out", dir.file("c.dat")}, 1, "", "--size is required"},
        {{"camparam", "--out", dir.file("no/c.dat"), "--size", "640x480"}, 2, "", "cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult r = runInProcess(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.outPart), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fileExists(scene)) << "refused options leave nothing behind";
}

TEST(TagforgeRun, SmallSceneIsTheOneItsTruthDescribes) {
    TempDir dir;
    const std::string scene = dir.file("s");
    const RunResult r = runInProcess({"scene", "--out", scene, "--views", "2", "--camera",
                                      "320x240", "--supersampling", "1", "--seed", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote scene " + scene + " (2 views)"), std::string::npos) << r.out;
    cv::FileStorage truth(scene + "/truth.yaml", cv::FileStorage::READ);
    ASSERT_TRUE(truth.isOpened());
    EXPECT_EQ(static_cast<int>(truth["image_width"]), 320);
    EXPECT_EQ(static_cast<int>(truth["views"]), 2);
    ASSERT_EQ(truth["view"].size(), 2u);
    for (int v = 0; v < 2; ++v) {
        SCOPED_TRACE(v);
        cv::Mat corners;
        truth["view"][v]["corners"] >> corners;
        EXPECT_EQ(corners.rows, 63);
        // Every true corner lies inside the photo: the pose was chosen so.
        for (int id = 0; id < corners.rows; ++id)
            for (int p = 0; p < 4; ++p) {
                EXPECT_GT(corners.at<double>(id, 1 + 2 * p), 0);
                EXPECT_LT(corners.at<double>(id, 1 + 2 * p), 319);
                EXPECT_GT(corners.at<double>(id, 2 + 2 * p), 0);
                EXPECT_LT(corners.at<double>(id, 2 + 2 * p), 239);
            }
        for (const char* kind : {"cam", "proj"}) {
            char name[32];
            std::snprintf(name, sizeof name, "/images/%s%03d.png", kind, v);
            EXPECT_EQ(cv::imread(scene + name).size(), cv::Size(320, 240)) << name;
        }
    }
    EXPECT_TRUE(fileExists(scene + "/data/pat.62"));
    EXPECT_TRUE(fileExists(scene + "/projection.png"));
}
