// lensrig as a program: recovering a known camera, exact outputs, bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <regex>

#include "calib_fixture.h"
#include "test_support.h"

namespace {
constexpr double kFocalTolerance = 0.005;  // relative
constexpr double kCentreTolerancePx = 2.0;
constexpr double kNoisePx = 0.1;
constexpr int kViews = 12;

const cv::Mat kRationalLens =
    (cv::Mat_<double>(1, 8) << -0.2, 0.1, 0.001, -0.0015, 0.02, 0.05, -0.02, 0.01);

class Lensrig : public testing::Test {
  protected:
    void SetUp() override {
        camera = testCamera(kRationalLens);
        views = makeViews(camera, kViews, 3);
        image = projectViews(camera, views, kNoisePx, 4);
        for (int i = 0; i < kViews; ++i) numbers.push_back(3 * i + 1);
        writeCameraRun(dir.path(), "pts", numbers, image, views.board, camera.size);
        std::filesystem::create_directories(dir.file("param"));
        std::filesystem::create_directories(dir.file("reproj"));
    }
    std::vector<std::string> args(const std::string& mode) const {
        return {"img%03d.png",
                "pts/cam2D%03d.txt",
                "pts/cam3D%03d.txt",
                "pts/cam_true_num.txt",
                mode,
                "param",
                "reproj"};
    }
    ProgramResult run(const std::vector<std::string>& a) {
        return runProgram(programPath("lensrig"), a, dir.path());
    }
    TempDir dir;
    SyntheticCamera camera;
    SyntheticViews views;
    std::vector<std::vector<cv::Point2f>> image;
    std::vector<int> numbers;
};
}  // namespace

TEST_F(Lensrig, RationalModeRecoversTheCamera) {
    std::vector<std::string> a = args("1");
    a.push_back("100");
    const ProgramResult r = run(a);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> k = readValues(dir.file("param/Cam_mat.txt"));
    ASSERT_EQ(k.size(), 9u);
    EXPECT_NEAR(k[0], camera.k(0, 0), kFocalTolerance * camera.k(0, 0));
    EXPECT_NEAR(k[4], camera.k(1, 1), kFocalTolerance * camera.k(1, 1));
    EXPECT_NEAR(k[2], camera.k(0, 2), kCentreTolerancePx);
    EXPECT_NEAR(k[5], camera.k(1, 2), kCentreTolerancePx);
    EXPECT_EQ(readValues(dir.file("param/dist.txt")).size(), 8u)
        << "the whole rational model is kept";
    // the printed RMS error is at the noise level
    const std::smatch m = [&] {
        std::smatch s;
        std::regex_search(r.out, s, std::regex("\ncalibration\n([0-9.e-]+)\n"));
        return s;
    }();
    ASSERT_FALSE(m.empty()) << r.out;
    EXPECT_LT(std::stod(m[1]), 2 * kNoisePx);
    EXPECT_GT(std::stod(m[1]), 0.5 * kNoisePx);
}

TEST_F(Lensrig, OutputFormatsAndTrace) {
    const ProgramResult r = run(args("1"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string echo =
        "image name : img%03d.png\n2d point name : pts/cam2D%03d.txt\n3d point name "
        ":pts/cam3D%03d.txt\n"
        "true name file name : pts/cam_true_num.txt\nparam folder name :param\nreproj folder name "
        ": reproj\n";
    EXPECT_EQ(r.out.substr(0, echo.size()), echo);
    EXPECT_NE(r.out.find("\n7\n\nread image num 7\n2D points / 3D points = 252 / 252\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nread img \nimg num0 : img001.png\nimg num1 : img004.png\n"),
              std::string::npos);
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex("calc_err\nRMSE imagenum = 1 : [0-9.e-]+\nRMSE imagenum = 4 : ")));
    EXPECT_TRUE(std::regex_match(
        readFile(dir.file("param/cam_RT007.txt")),
        std::regex(
            "rotation\n(-?[0-9.e-]+\n){3}translation\n-?[0-9.e-]+ -?[0-9.e-]+ -?[0-9.e-]+\n")));
    EXPECT_EQ(splitLines(readFile(dir.file("param/cam_R007.txt"))).size(), 3u);
    EXPECT_EQ(splitLines(readFile(dir.file("param/cam_t034.txt"))).size(), 3u);
    EXPECT_TRUE(std::regex_match(readFile(dir.file("param/err_data.txt")),
                                 std::regex("camera pointnum = 3024 \ncam_err = [0-9.e-]+\t\n")));
    EXPECT_TRUE(std::regex_match(readFile(dir.file("param/Cam_mat.txt")),
                                 std::regex("[0-9.]+ 0 [0-9.]+ 0 [0-9.]+ [0-9.]+ 0 0 1\n")));
    EXPECT_FALSE(cv::imread(dir.file("reproj/reprojectionCam007.png")).empty());
}

TEST_F(Lensrig, ModeZeroFitsNoDistortionAndIgnoresTheIterationLimit) {
    std::vector<std::string> a = args("0");
    a.push_back("1");
    ASSERT_EQ(run(a).status, 0);
    EXPECT_EQ(readFile(dir.file("param/dist.txt")), "0 0 0 0\n");
}

TEST_F(Lensrig, BadInputStopsWithAMessage) {
    struct Case {
        std::string name;
        std::function<void(std::vector<std::string>&)> change;
        int status;
        std::string err;
    };
    writeFile(dir.file("pts/t512.txt"), "1\n512\n");
    writeFile(dir.file("pts/bad.txt"), "1\nx\n");
    const Case cases[] = {
        {"too few arguments", [](auto& a) { a.pop_back(); }, 1, "Usage: lensrig"},
        {"mode 3", [](auto& a) { a[4] = "3"; }, 1, "mode must be 0"},
        {"bad --size",
         [](auto& a) {
             a.insert(a.begin(), {"--size", "640by480"});
         },
         1, "--size takes WxH"},
        {"missing true-number file", [](auto& a) { a[3] = "pts/none.txt"; }, 1,
         "cannot read pts/none.txt"},
        {"malformed true-number file", [](auto& a) { a[3] = "pts/bad.txt"; }, 1,
         "not an image number: x"},
        {"image number 512", [](auto& a) { a[3] = "pts/t512.txt"; }, 1,
         "invalid array<T, N> subscript"},
        {"unsafe pattern", [](auto& a) { a[0] = "img%s.png"; }, 1, "the image pattern"},
        {"missing parameter folder", [](auto& a) { a[5] = "nowhere"; }, 2,
         "cannot write nowhere/cam_RT001.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> a = args("1");
        c.change(a);
        const ProgramResult r = run(a);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // 2D and 3D lists of unequal length are refused before OpenCV sees them.
    writePointFile2(dir.file("pts/cam2D004.txt"), std::vector<cv::Point2f>(10, {5, 5}));
    const ProgramResult r = run(args("1"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("view 1 (image 4): 10 points in pts/cam2D004.txt but 252 in pts/cam3D004.txt"),
        std::string::npos)
        << r.err;
}

TEST_F(Lensrig, MissingImagesAreReportedAndSkipped) {
    std::filesystem::remove(dir.file("img001.png"));
    const ProgramResult r = run(args("1"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("cannot read image img001.png"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("reproj/reprojectionCam001.png")));
    EXPECT_TRUE(fileExists(dir.file("reproj/reprojectionCam004.png")));
    for (int n : numbers) std::filesystem::remove(dir.file(cv::format("img%03d.png", n)));
    const ProgramResult none = run(args("1"));
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("none of the images could be read"), std::string::npos);
}

TEST_F(Lensrig, PercentInTheFolderIsLiteral) {
    std::filesystem::create_directories(dir.file("par%d"));
    std::vector<std::string> a = args("0");
    a[5] = "par%d";
    ASSERT_EQ(run(a).status, 0);
    EXPECT_TRUE(fileExists(dir.file("par%d/cam_RT001.txt")));
}
