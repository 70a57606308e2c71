// lumenrig: back-projection, recovering a known projector and stereo pose, exact texts,
// pairing of the two runs and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <opencv2/calib3d.hpp>
#include <regex>

#include "back_project.h"
#include "calib_fixture.h"
#include "test_support.h"

namespace {
constexpr double kNoisePx = 0.1;
constexpr int kViews = 12;
constexpr double kFocalTolerance = 0.01;  // relative
constexpr double kCentreToleranceOfWidth = 0.01;
constexpr double kBaselineTolerance = 0.01;  // relative length
constexpr double kDirectionToleranceDeg = 0.5;
constexpr double kRotationToleranceDeg = 0.2;
constexpr double kEpipolarTolerancePx = 0.5;

double angleDeg(const cv::Matx33d& a, const cv::Matx33d& b) {
    cv::Vec3d r;
    cv::Rodrigues(a.t() * b, r);
    return cv::norm(r) * 180 / CV_PI;
}

class Lumenrig : public testing::Test {
  protected:
    void SetUp() override {
        camera = testCamera(cv::Mat::zeros(1, 5, CV_64F));
        projector = testProjector();
        views = makeViews(camera, kViews + 1, 9);  // the last view is held out
        SyntheticViews used = views;
        used.rvecs.pop_back();
        used.tvecs.pop_back();
        for (int i = 0; i < kViews; ++i) numbers.push_back(i);
        writeCameraRun(dir.path(), "cam", numbers, projectViews(camera, used, kNoisePx, 1),
                       used.board, camera.size);
        projectorViews(camera, projector, used, kNoisePx, 2, &onCamera, &pattern);
        writeProjectorRun(numbers);
    }
    void writeProjectorRun(const std::vector<int>& which) {
        ::writeProjectorRun(dir.path(), which, onCamera, pattern);
    }
    std::vector<std::string> args(const std::string& mode = "0") const {
        return {"cam/cam_true_num.txt",
                "img%03d.png",
                "cam/cam2D%03d.txt",
                "cam/cam3D%03d.txt",
                "640",
                "480",
                "proj/proj_true_num.txt",
                "pimg%03d.png",
                "proj/proj2D%03d.txt",
                "proj/pattern%03d.txt",
                "1024",
                "768",
                "R.txt",
                "T.txt",
                "F.txt",
                "K.txt",
                "D.txt",
                mode};
    }
    ProgramResult run(const std::vector<std::string>& a) {
        return runProgram(programPath("lumenrig"), a, dir.path());
    }
    cv::Matx33d matrixFile(const std::string& name) const {
        const std::vector<double> v = readValues(dir.file(name));
        EXPECT_EQ(v.size(), 9u) << name;
        cv::Matx33d m;
        for (int i = 0; i < 9 && i < static_cast<int>(v.size()); ++i) m.val[i] = v[i];
        return m;
    }
    TempDir dir;
    SyntheticCamera camera;
    SyntheticProjector projector;
    SyntheticViews views;
    std::vector<int> numbers;
    std::vector<std::vector<cv::Point2f>> onCamera, pattern;
};
}  // namespace

TEST(BackProjection, PrincipalPointIdentityPoseAndEmptyLists) {
    const cv::Mat k = (cv::Mat_<double>(3, 3) << 500, 0, 320, 0, 400, 240, 0, 0, 1);
    const std::vector<cv::Mat> r = {cv::Mat::zeros(3, 1, CV_64F)};
    const std::vector<cv::Mat> t = {(cv::Mat_<double>(3, 1) << 0, 0, 800)};
    testing::internal::CaptureStdout();
    const std::vector<PointList3> out = backProjectPoints_Cam2Obj(
        {{{320, 240}, {420, 140}}, {}}, {r[0], r[0]}, {t[0], t[0]}, {0, 1}, k, {3, 4});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "backProjectPoints_Cam2Obj\n");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0][0], cv::Point3f(0, 0, 0));
    // x = 100 / 500, y = -100 / 400: X = (x d, y d, 0)
    EXPECT_FLOAT_EQ(out[0][1].x, 0.2f * 800);
    EXPECT_FLOAT_EQ(out[0][1].y, -0.25f * 800);
    EXPECT_EQ(out[0][1].z, 0.0f);
    EXPECT_TRUE(out[1].empty());
}

TEST(BackProjection, ProjectedBoardPointsReturnToThemselves) {
    const SyntheticCamera cam = testCamera(cv::Mat::zeros(1, 5, CV_64F));
    const SyntheticViews v = makeViews(cam, 4, 21);
    const std::vector<std::vector<cv::Point2f>> img = projectViews(cam, v, 0.0, 1);
    std::vector<cv::Mat> r, t;
    for (std::size_t i = 0; i < v.rvecs.size(); ++i) {
        r.push_back(cv::Mat(v.rvecs[i]).clone());
        t.push_back(cv::Mat(v.tvecs[i]).clone());
    }
    testing::internal::CaptureStdout();
    const std::vector<PointList3> back =
        backProjectPoints_Cam2Obj(img, r, t, {0, 1, 2, 3}, cv::Mat(cam.k), {0, 1, 2, 3});
    testing::internal::GetCapturedStdout();
    int checked = 0;
    for (std::size_t i = 0; i < back.size(); ++i)
        for (std::size_t j = 0; j < back[i].size(); ++j) {
            // float image coordinates limit the round trip to about 1e-4 board units
            EXPECT_NEAR(back[i][j].x, v.board[j].x, 2e-3);
            EXPECT_NEAR(back[i][j].y, v.board[j].y, 2e-3);
            EXPECT_NEAR(back[i][j].z, 0.0, 1e-3);
            ++checked;
        }
    EXPECT_EQ(checked, 4 * 252);
}

TEST(BackProjection, PointThatMeetsNoBoardIsAnError) {
    const cv::Mat k = (cv::Mat_<double>(3, 3) << 500, 0, 320, 0, 500, 240, 0, 0, 1);
    const cv::Mat r = cv::Mat::zeros(3, 1, CV_64F);
    const cv::Mat t = (cv::Mat_<double>(3, 1) << 0, 0, 100);
    testing::internal::CaptureStdout();
    try {
        backProjectPoints_Cam2Obj({{{320, 240}, {INFINITY, 240}}}, {r}, {t}, {0}, k, {5});
        ADD_FAILURE() << "no error";
    } catch (const PointFileError& e) {
        EXPECT_NE(std::string(e.what()).find("view 0 (image 5) point 1"), std::string::npos)
            << e.what();
    }
    testing::internal::GetCapturedStdout();
}

TEST_F(Lumenrig, RecoversTheProjectorAndTheStereoPose) {
    const ProgramResult r = run(args("0"));
    ASSERT_EQ(r.status, 0) << r.err;
    const cv::Matx33d k = matrixFile("K.txt");
    EXPECT_NEAR(k(0, 0), projector.k(0, 0), kFocalTolerance * projector.k(0, 0));
    EXPECT_NEAR(k(1, 1), projector.k(1, 1), kFocalTolerance * projector.k(1, 1));
    EXPECT_NEAR(k(0, 2), projector.k(0, 2), kCentreToleranceOfWidth * projector.size.width);
    EXPECT_NEAR(k(1, 2), projector.k(1, 2), kCentreToleranceOfWidth * projector.size.width);
    const cv::Matx33d rot = matrixFile("R.txt");
    EXPECT_LT(angleDeg(rot, projector.r), kRotationToleranceDeg);
    const std::vector<double> tv = readValues(dir.file("T.txt"));
    ASSERT_EQ(tv.size(), 3u);
    const cv::Vec3d t(tv[0], tv[1], tv[2]);
    EXPECT_NEAR(cv::norm(t), cv::norm(projector.t), kBaselineTolerance * cv::norm(projector.t));
    EXPECT_LT(std::acos(t.dot(projector.t) / cv::norm(t) / cv::norm(projector.t)) * 180 / CV_PI,
              kDirectionToleranceDeg);
    // The fundamental matrix on the held-out view: x_proj^T F x_cam = 0.
    SyntheticViews held = views;
    held.rvecs.erase(held.rvecs.begin(), held.rvecs.end() - 1);
    held.tvecs.erase(held.tvecs.begin(), held.tvecs.end() - 1);
    std::vector<std::vector<cv::Point2f>> heldCam, heldProj;
    projectorViews(camera, projector, held, 0.0, 3, &heldCam, &heldProj);
    const cv::Matx33d f = matrixFile("F.txt");
    int checked = 0;
    for (std::size_t i = 0; i < heldCam[0].size(); ++i) {
        const cv::Vec3d line = f * cv::Vec3d(heldCam[0][i].x, heldCam[0][i].y, 1);
        const double distance =
            std::abs(line.dot(cv::Vec3d(heldProj[0][i].x, heldProj[0][i].y, 1))) /
            std::hypot(line[0], line[1]);
        EXPECT_LT(distance, kEpipolarTolerancePx) << i;
        ++checked;
    }
    EXPECT_EQ(checked, 63);
    EXPECT_EQ(readFile(dir.file("D.txt")), "0 0 0 0\n");
}

TEST_F(Lumenrig, EchoTraceAndFileLayouts) {
    const ProgramResult r = run(args("1"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string echo =
        "truenum file name : cam/cam_true_num.txt\ncam0 image name : img%03d.png\ncam0 2d point "
        "name : "
        "cam/cam2D%03d.txt\ncam0 3d point name : cam/cam3D%03d.txt\ncam0 reso  : 640 : "
        "480\ntruenum file name : "
        "proj/proj_true_num.txt\nproj image name : pimg%03d.png\nproj 2d on cam point name : "
        "proj/proj2D%03d.txt\n"
        "proj pattern point name : proj/pattern%03d.txt\nproj reso  : 1024 : 768\nstereo R name : "
        "R.txt\nstereo t "
        "name : T.txt\nF mat name : F.txt\nproj Mat name : K.txt\nproj dist name : D.txt\nproj "
        "undist flag : 1\n"
        "read_true_num_file_name = cam/cam_true_num.txt\n";
    EXPECT_EQ(r.out.substr(0, echo.size()), echo);
    for (const char* piece :
         {"image_name = img%03d.png\nimg000.png\nimg001.png\n",
          "set_camMat_name = check_cam0param.txt\n",
          "read_2d_projpoints_file_name = proj/proj2D%03d.txt\n\nread 2d_projpoints_file "
          "data\ndeta num = 63\n",
          "backProjectPoints_Cam2Obj\nread_2d_points_file_name = proj/pattern%03d.txt\n",
          "distfile_name = D.txt\nset_camMat_name = K.txt\ndo stereocalibrate\nRMSE = ",
          "\n\ncam0 Mat = \n", "\n\ncam1 Mat = \n",
          "\n\nRotation =", "\n\nTrasration =", "\n\nF =", "\n\nE =",
          "output_stereo_R_name = R.txt\noutput_stereo_R_name = T.txt\noutput_F_name = F.txt\n "
          "output F mat =F.txt\n"})
        EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex("do calibrate\nRMSE = [0-9.e-]+\n([-0-9.e]+ ){2}[-0-9.e]+\n")));
    const std::regex nine("(-?[0-9.e+-]+ ){8}-?[0-9.e+-]+\n");
    for (const char* f : {"check_cam0param.txt", "K.txt", "R.txt", "F.txt"})
        EXPECT_TRUE(std::regex_match(readFile(dir.file(f)), nine)) << f;
    EXPECT_TRUE(std::regex_match(readFile(dir.file("T.txt")),
                                 std::regex("(-?[0-9.e+-]+ ){2}-?[0-9.e+-]+\n")));
    EXPECT_EQ(readValues(dir.file("D.txt")).size(), 5u) << "mode 1 keeps k3";
}

TEST_F(Lumenrig, ProjectorViewsPairByImageNumber) {
    // Camera image 3 unusable: its projector view must not borrow another pose.
    std::vector<int> cameraNumbers = numbers;
    cameraNumbers.erase(cameraNumbers.begin() + 3);
    writeTrueNumbers(dir.file("cam/cam_true_num.txt"), cameraNumbers);
    const ProgramResult paired = run(args("0"));
    ASSERT_EQ(paired.status, 0) << paired.err;
    EXPECT_NE(paired.err.find(
                  "projector image 3 has no camera view with the same image number: left out"),
              std::string::npos);
    const std::string k = readFile(dir.file("K.txt")), t = readFile(dir.file("T.txt"));
    // the same as calibrating on the common images only
    writeProjectorRun(cameraNumbers);
    ASSERT_EQ(run(args("0")).status, 0);
    EXPECT_EQ(readFile(dir.file("K.txt")), k);
    EXPECT_EQ(readFile(dir.file("T.txt")), t);
}

TEST_F(Lumenrig, BadInputStopsBeforeCalibrating) {
    writeFile(dir.file("none.txt"), "40\n41\n");
    struct Case {
        std::string name;
        std::function<void(std::vector<std::string>&)> change;
        std::function<void()> prepare;
        std::string err;
    };
    const Case cases[] = {
        {"17 arguments", [](auto& a) { a.pop_back(); }, [] {}, "Usage: lumenrig"},
        {"mode 2", [](auto& a) { a[17] = "2"; }, [] {}, "proj_dist_mode must be 0"},
        {"no pairs", [](auto& a) { a[6] = "none.txt"; }, [] {},
         "no projector image of none.txt has a camera view"},
        {"missing camera file", [](auto& a) { a[0] = "nothing.txt"; }, [] {},
         "cannot read nothing.txt"},
        {"unequal projector files", [](auto&) {},
         [this] {
             writePointFile2(dir.file("proj/pattern004.txt"), std::vector<cv::Point2f>(62, {1, 1}));
         },
         "projector image 4: 63 points in proj/proj2D004.txt but 62 in proj/pattern004.txt"},
        {"malformed point", [](auto&) {},
         [this] { writeFile(dir.file("proj/pattern004.txt"), "1 2\nx y\n"); },
         "proj/pattern004.txt line 2: expected 2 numbers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> a = args();
        c.change(a);
        c.prepare();
        const ProgramResult r = run(a);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("check_cam0param.txt"))) << "nothing calibrated";
    }
}

TEST_F(Lumenrig, OpenCvErrorsAndUnwritableOutputsAreReported) {
    // Three points per view are too few for the projector's calibration: named before
    // OpenCV could assert.
    for (int n : numbers) {
        writePointFile2(dir.file(cv::format("proj/proj2D%03d.txt", n)),
                        {onCamera[n][0], onCamera[n][1], onCamera[n][2]});
        writePointFile2(dir.file(cv::format("proj/pattern%03d.txt", n)),
                        {pattern[n][0], pattern[n][1], pattern[n][2]});
    }
    const ProgramResult bad = run(args());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("cannot constrain the calibration: only 3 points"), std::string::npos)
        << bad.err;
    EXPECT_EQ(bad.err.find("OpenCV"), std::string::npos) << bad.err;
    writeProjectorRun(numbers);
    std::vector<std::string> a = args();
    a[12] = "nowhere/R.txt";
    const ProgramResult r = run(a);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write nowhere/R.txt"), std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("F.txt")));
}

TEST_F(Lumenrig, ResultsFileHoldsTheWrittenValuesAtFullPrecision) {
    std::vector<std::string> a = args("1");
    a.insert(a.begin(), {"--results", "results.yaml"});
    const ProgramResult r = run(a);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "the projector files reproduce the fit";
    cv::FileStorage f(dir.file("results.yaml"), cv::FileStorage::READ);
    ASSERT_TRUE(f.isOpened());
    cv::Mat k, d, rot;
    f["projector_matrix"] >> k;
    f["projector_distortion"] >> d;
    f["R"] >> rot;
    EXPECT_EQ(static_cast<std::string>(f["projector_model"]), "standard");
    const cv::Matx33d kText = matrixFile("K.txt"), rText = matrixFile("R.txt");
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(cv::format("%g", k.at<double>(i / 3, i % 3)),
                  cv::format("%g", kText(i / 3, i % 3)));
        EXPECT_EQ(cv::format("%g", rot.at<double>(i / 3, i % 3)),
                  cv::format("%g", rText(i / 3, i % 3)));
    }
    EXPECT_EQ(readValues(dir.file("D.txt")).size(), 5u);
    EXPECT_EQ(d.total(), 5u);
    EXPECT_GT(static_cast<double>(f["projector_rms"]), 0.0);
    EXPECT_GT(static_cast<double>(f["stereo_rms"]), 0.0);
    EXPECT_GT(static_cast<double>(f["camera_rms"]), 0.0);
}
