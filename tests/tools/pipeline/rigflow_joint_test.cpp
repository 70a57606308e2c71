// rigflow's joint solve on real photos: OpenCV's stereo chessboard pairs, the left camera as
// the camera and the right one as "the projector" (its corners paired with the left ones),
// against OpenCV's stereo calibration of carefully refined corners.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/calib3d.hpp>

#include "correspondence_folder.h"
#include "real_photos.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
constexpr double kRotationToleranceDeg = 0.1;
constexpr double kTranslationTolerance = 0.003;  // of |T|

void writePoints(const std::string& dir, const RealStereoPairs& p) {
    fs::create_directories(dir + "/cam");
    fs::create_directories(dir + "/proj");
    const std::string cam = dir + "/cam", proj = dir + "/proj";
    std::ofstream camNum(trueNumberFile(cam, false)), projNum(trueNumberFile(proj, true));
    for (std::size_t v = 0; v < p.numbers.size(); ++v) {
        const int n = p.numbers[v];
        std::ofstream cam2(pointFile(cam, PointFile::kCameraImage, n)),
            cam3(pointFile(cam, PointFile::kCameraBoard, n));
        std::ofstream proj2(pointFile(proj, PointFile::kProjectedImage, n)),
            pattern(pointFile(proj, PointFile::kProjectedPattern, n));
        for (std::size_t i = 0; i < p.board.size(); ++i) {
            cam2 << p.left[v][i].x << "\t" << p.left[v][i].y << "\n";
            cam3 << p.board[i].x << "\t" << p.board[i].y << "\t0\t\n";
            proj2 << p.left[v][i].x << "\t" << p.left[v][i].y << "\n";
            pattern << p.right[v][i].x << " " << p.right[v][i].y << "\n";
        }
        camNum << n << "\n";
        projNum << n << "\n";
    }
}

// OpenCV's answer on the careful corners: each camera calibrated, then both refined together.
void reference(const RealStereoPairs& p, cv::Mat* r, cv::Mat* t) {
    const std::vector<std::vector<cv::Point3f>> board(p.numbers.size(), p.board);
    cv::Mat kl, dl, kr, dr, e, f;
    std::vector<cv::Mat> rv, tv;
    cv::calibrateCamera(board, p.left, p.size, kl, dl, rv, tv);
    cv::calibrateCamera(board, p.right, p.size, kr, dr, rv, tv);
    cv::stereoCalibrate(
        board, p.left, p.right, kl, dl, kr, dr, p.size, *r, *t, e, f, cv::CALIB_USE_INTRINSIC_GUESS,
        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-10));
}

double angleDeg(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat v;
    cv::Rodrigues(a * b.t(), v);
    return cv::norm(v) * 180 / CV_PI;
}
}  // namespace

class RigflowRealPairs : public ::testing::TestWithParam<int> {};

TEST_P(RigflowRealPairs, JointSolveLandsOnOpenCvStereoCalibration) {
    const int window = GetParam();
    const RealStereoPairs careful = sampledPairs(stereoChessboardPairs(5));
    const RealStereoPairs pairs = sampledPairs(stereoChessboardPairs(window));
    ASSERT_GE(pairs.numbers.size(), 10u);
    TempDir dir;
    writePoints(dir.path(), pairs);
    writeFile(dir.file("rigflow.cfg"),
              "camera_points = cam\nprojector_points = proj\ncamera_size = 640x480\n"
              "projector_size = 640x480\nmark_size = 25\n");
    const ProgramResult run = runProgram(programPath("rigflow"), {dir.path()}, ".");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::cout << run.out;

    cv::Mat refR, refT, r, t, chainR, chainT;
    reference(careful, &refR, &refT);
    cv::FileStorage stereo(dir.file("calibration/stereo.yaml"), cv::FileStorage::READ);
    stereo["R"] >> r;
    stereo["T"] >> t;
    cv::FileStorage chain(dir.file("calibration/projector/lumenrig_results.yaml"),
                          cv::FileStorage::READ);
    chain["R"] >> chainR;
    chain["T"] >> chainT;
    const double off = angleDeg(r, refR), offT = cv::norm(t - refT) / cv::norm(refT);
    std::printf(
        "window %d: chain rotation off %.4f deg, T off %.3f %%; joint rotation off %.4f "
        "deg (σ %.4f), T off %.3f %% (baseline σ %.4f)\n",
        window, angleDeg(chainR, refR), 100 * cv::norm(chainT - refT) / cv::norm(refT), off,
        static_cast<double>(stereo["rotation_std_deviation_deg"]), 100 * offT,
        static_cast<double>(stereo["baseline_std_deviation"]));
    EXPECT_LT(off, kRotationToleranceDeg);
    EXPECT_LT(offT, kTranslationTolerance);

    // The projector's standard lens folds just beyond the corners: kept, its region reported.
    cv::FileStorage proj(dir.file("calibration/projector.yaml"), cv::FileStorage::READ);
    EXPECT_EQ(static_cast<std::string>(proj["lens_model"]), "standard");
    const double dataRadius = proj["data_radius_normalised"];
    const double validRadius = proj["valid_radius_normalised"];
    EXPECT_GT(dataRadius, 0);
    EXPECT_GE(validRadius, dataRadius);
    // The rejected points are counted per view and named in the report.
    const std::string report = readFile(dir.file("calibration/report.html"));
    EXPECT_NE(report.find("points rejected as outliers"), std::string::npos);
    if (window > 5) {
        EXPECT_NE(run.out.find("the joint solve rejected"), std::string::npos) << run.out;
        EXPECT_NE(report.find("every rejected point"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, RigflowRealPairs, ::testing::Values(5, 11));
