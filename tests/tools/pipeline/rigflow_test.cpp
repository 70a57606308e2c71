// The pipeline end to end on a generated scene with lens distortion, and its input checks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <sstream>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {
constexpr double kCameraFocalTolerance = 0.01;  // relative
constexpr double kCameraCentreOfWidth = 0.01;
constexpr double kProjectorFocalTolerance = 0.02;  // relative
constexpr double kBaselineTolerance = 0.02;        // relative
constexpr double kRotationToleranceDeg = 0.5;

const std::string& scene() {
    static TempDir dir;
    static const std::string path = [] {
        const ProgramResult r = runProgram(
            programPath("tagforge"),
            {"scene", "--out", "scene", "--views", "10", "--camera", "960x720", "--seed", "3"},
            dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return dir.file("scene");
    }();
    return path;
}

// A copy of the scene's inputs (photos, patterns, projection image) in a fresh folder.
void copyScene(const std::string& to, const std::string& config) {
    fs::copy(scene() + "/data", to + "/data", fs::copy_options::recursive);
    fs::copy(scene() + "/images", to + "/images", fs::copy_options::recursive);
    fs::copy_file(scene() + "/projection.png", to + "/projection.png");
    writeFile(to + "/rigflow.cfg",
              "# test scene\ncamera_images = images/cam%03d.png\nprojector_images = "
              "images/proj%03d.png\n" +
                  config);
}

struct Recovered {
    cv::Mat camera, projector, r, t;
};

Recovered readResults(const std::string& dir) {
    Recovered out;
    cv::FileStorage cam(dir + "/calibration/camera.yaml", cv::FileStorage::READ);
    cv::FileStorage proj(dir + "/calibration/projector.yaml", cv::FileStorage::READ);
    cv::FileStorage stereo(dir + "/calibration/stereo.yaml", cv::FileStorage::READ);
    cam["camera_matrix"] >> out.camera;
    proj["camera_matrix"] >> out.projector;
    stereo["R"] >> out.r;
    stereo["T"] >> out.t;
    return out;
}

double angleDeg(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat v;
    cv::Rodrigues(a.t() * b, v);
    return cv::norm(v) * 180 / CV_PI;
}

std::vector<double> numbers(const std::string& path) {
    std::istringstream in(readFile(path));
    std::vector<double> v;
    for (double x; in >> x;) v.push_back(x);
    return v;
}
}  // namespace

TEST(Rigflow, CalibratesTheSceneAndUndistortingFirstPaysOff) {
    cv::FileStorage truth(scene() + "/truth.yaml", cv::FileStorage::READ);
    cv::Mat camK, projK, rTrue, tTrue;
    truth["camera_matrix"] >> camK;
    truth["projector_matrix"] >> projK;
    truth["R"] >> rTrue;
    truth["T"] >> tTrue;
    const double width = static_cast<int>(truth["image_width"]);

    TempDir good, raw;
    copyScene(good.path(), "");
    copyScene(raw.path(), "undistort = 0\n");
    const ProgramResult r =
        runProgram(programPath("rigflow"), {"--truth", scene() + "/truth.yaml", good.path()}, ".");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[6/6] lumenrig: projector and stereo calibration ... done\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("views used: camera 10 of 10, projector 10 of 10\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("== Compared with the ground truth"), std::string::npos);
    const ProgramResult rr = runProgram(programPath("rigflow"), {raw.path()}, ".");
    ASSERT_EQ(rr.status, 0) << rr.out << rr.err;

    const Recovered g = readResults(good.path()), d = readResults(raw.path());
    EXPECT_NEAR(g.camera.at<double>(0, 0), camK.at<double>(0, 0),
                kCameraFocalTolerance * camK.at<double>(0, 0));
    EXPECT_NEAR(g.camera.at<double>(1, 1), camK.at<double>(1, 1),
                kCameraFocalTolerance * camK.at<double>(1, 1));
    EXPECT_NEAR(g.camera.at<double>(0, 2), camK.at<double>(0, 2), kCameraCentreOfWidth * width);
    EXPECT_NEAR(g.camera.at<double>(1, 2), camK.at<double>(1, 2), kCameraCentreOfWidth * width);
    auto projectorErrors = [&](const Recovered& x) {
        return std::vector<double>{
            std::abs(x.projector.at<double>(0, 0) / projK.at<double>(0, 0) - 1),
            std::abs(x.projector.at<double>(1, 1) / projK.at<double>(1, 1) - 1),
            std::abs(cv::norm(x.t) / cv::norm(tTrue) - 1), angleDeg(x.r, rTrue)};
    };
    const std::vector<double> eg = projectorErrors(g), ed = projectorErrors(d);
    std::cout << "undistorted first: projector fx " << 100 * eg[0] << " %, fy " << 100 * eg[1]
              << " %, baseline " << 100 * eg[2] << " %, rotation " << eg[3] << " deg\n"
              << "raw camera points: projector fx " << 100 * ed[0] << " %, fy " << 100 * ed[1]
              << " %, baseline " << 100 * ed[2] << " %, rotation " << ed[3] << " deg\n";
    EXPECT_LT(eg[0], kProjectorFocalTolerance);
    EXPECT_LT(eg[1], kProjectorFocalTolerance);
    EXPECT_LT(eg[2], kBaselineTolerance);
    EXPECT_LT(eg[3], kRotationToleranceDeg);
    // Without removing the lens distortion the projector is clearly worse.
    EXPECT_GT(ed[0] + ed[1] + ed[2], 2 * (eg[0] + eg[1] + eg[2]));

    // The YAML files hold the numbers of the text files.
    const std::vector<double> k = numbers(good.file("calibration/camera/Cam_mat.txt"));
    const std::vector<double> pk = numbers(good.file("calibration/projector/K.txt"));
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(g.camera.at<double>(i / 3, i % 3), k[i]);
        EXPECT_EQ(g.projector.at<double>(i / 3, i % 3), pk[i]);
    }
    cv::FileStorage cam(good.file("calibration/camera.yaml"), cv::FileStorage::READ);
    cv::Mat dist, perView;
    cam["distortion_coefficients"] >> dist;
    cam["per_view_reprojection_errors"] >> perView;
    EXPECT_EQ(dist.total(), 8u);
    EXPECT_EQ(perView.total(), 10u);
    EXPECT_EQ(static_cast<int>(cam["image_width"]), 960);
    EXPECT_GT(static_cast<double>(cam["avg_reprojection_error"]), 0.0);
    cv::FileStorage stereo(good.file("calibration/stereo.yaml"), cv::FileStorage::READ);
    cv::Mat e;
    stereo["E"] >> e;
    EXPECT_EQ(e.rows, 3);
    EXPECT_TRUE(fileExists(good.file("calibration/camera_errors.png")));
    EXPECT_TRUE(fileExists(good.file("calibration/projector_errors.png")));
}

TEST(Rigflow, MissingOrMismatchedInputsStopBeforeAnyProgramRuns) {
    struct Case {
        std::string name;
        std::function<void(const std::string&)> damage;
        std::string message;
    };
    const Case cases[] = {
        {"missing photo", [](const std::string& d) { fs::remove(d + "/images/proj004.png"); },
         "missing photo images/proj004.png"},
        {"series of different lengths",
         [](const std::string& d) {
             fs::copy_file(d + "/images/proj000.png", d + "/images/proj010.png");
         },
         "the two series differ in length"},
        {"no pattern folder", [](const std::string& d) { fs::remove_all(d + "/data"); },
         "pattern file data/pat.00 is missing"},
        {"unknown key",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg", "camera_images = images/cam%03d.png\ncolour = 3\n");
         },
         "line 2: unknown key colour"},
        {"no projector series",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg", "camera_images = images/cam%03d.png\n");
         },
         "projector_images is required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        copyScene(dir.path(), "");
        c.damage(dir.path());
        const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("calibration/logs"))) << "no program ran";
    }
}

TEST(Rigflow, FailingStepStopsWithItsOutputKept) {
    TempDir dir;
    copyScene(dir.path(), "minimum_number = 63\n");  // no photo can have more than 63 markers
    const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no usable camera photo"), std::string::npos) << r.err;
    EXPECT_TRUE(fileExists(dir.file("calibration/logs/tagharvest_camera.log")));
    EXPECT_FALSE(fileExists(dir.file("calibration/logs/lensrig.log")));
}
