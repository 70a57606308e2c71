// lensrig's standard lens model, its check of the files it writes, and real photos.
#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <opencv2/calib3d.hpp>

#include "calib_fixture.h"
#include "real_photos.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
const cv::Mat kStandardLens = (cv::Mat_<double>(1, 5) << -0.12, 0.09, 0.0008, -0.0006, -0.018);

std::vector<std::string> lensrigArgs(const std::string& images, const std::string& mode,
                                     const std::string& iterations) {
    return {
        images,   "pts/cam2D%03d.txt", "pts/cam3D%03d.txt", "pts/cam_true_num.txt", mode, "param",
        "reproj", iterations};
}

ProgramResult runLensrig(const TempDir& dir, std::vector<std::string> args) {
    fs::create_directories(dir.file("param"));
    fs::create_directories(dir.file("reproj"));
    return runProgram(programPath("lensrig"), args, dir.path());
}

double fittedError(const TempDir& dir) {
    const std::string err = readFile(dir.file("param/err_data.txt"));
    return std::stod(err.substr(err.find("cam_err = ") + 10));
}
}  // namespace

TEST(LensrigStandardModel, FitsFiveCoefficientsWithoutPhotosAndKeepsFullPrecision) {
    const SyntheticCamera camera = testCamera(kStandardLens);
    const SyntheticViews views = makeViews(camera, 10, 5);
    const auto image = projectViews(camera, views, 0.1, 6);
    std::vector<int> numbers;
    for (int i = 0; i < 10; ++i) numbers.push_back(i);
    TempDir dir;
    writeCameraRun(dir.path(), "pts", numbers, image, views.board, camera.size);
    std::vector<std::string> args = {"--size", "640x480", "--results", "param/results.yaml"};
    for (const std::string& a : lensrigArgs("-", "2", "100")) args.push_back(a);
    const ProgramResult r = runLensrig(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<double> k = readValues(dir.file("param/Cam_mat.txt"));
    EXPECT_NEAR(k[0], camera.k(0, 0), 0.005 * camera.k(0, 0));
    EXPECT_NEAR(k[4], camera.k(1, 1), 0.005 * camera.k(1, 1));
    const std::vector<double> d = readValues(dir.file("param/dist.txt"));
    ASSERT_EQ(d.size(), 5u);
    EXPECT_NEAR(d[0], -0.12, 0.01);
    EXPECT_FALSE(fileExists(dir.file("reproj/reprojectionCam000.png"))) << "no photos, no drawing";

    cv::FileStorage results(dir.file("param/results.yaml"), cv::FileStorage::READ);
    cv::Mat fullK, fullD, rvecs;
    results["camera_matrix"] >> fullK;
    results["distortion_coefficients"] >> fullD;
    results["rvecs"] >> rvecs;
    EXPECT_EQ(static_cast<std::string>(results["model"]), "standard");
    EXPECT_EQ(cv::format("%g", fullK.at<double>(0, 0)), cv::format("%g", k[0]));
    EXPECT_NE(fullK.at<double>(0, 0), k[0]);
    EXPECT_EQ(cv::format("%g", fullD.at<double>(4)), cv::format("%g", d[4]));
    EXPECT_EQ(rvecs.rows, 10);
    EXPECT_EQ(static_cast<int>(results["image_width"]), 640);
}

TEST(LensrigStandardModel, WithoutPhotosTheSizeIsRequired) {
    TempDir dir;
    const ProgramResult r = runLensrig(dir, lensrigArgs("-", "2", "30"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--size WxH"), std::string::npos) << r.err;
}

// A sensor 60000 pixels wide: six significant digits leave its principal point and the
// poses tenths of a pixel off, which the written files then cannot hide.
TEST(LensrigWrittenFiles, ALensThatSixDigitsCannotHoldEndsWithStatusThree) {
    SyntheticCamera camera = testCamera(kStandardLens);
    camera.size = cv::Size(60000, 45000);
    camera.k = cv::Matx33d(60012.345, 0, 30012.345, 0, 60034.567, 22534.567, 0, 0, 1);
    const SyntheticViews views = makeViews(camera, 10, 7);
    const auto image = projectViews(camera, views, 0.0, 8);
    std::vector<int> numbers;
    TempDir dir;
    for (int i = 0; i < 10; ++i) {
        numbers.push_back(i);
        writeFile(dir.file(cv::format("img%03d.png", i)), "");  // no photos are needed
    }
    writeCameraRun(dir.path(), "pts", numbers, image, views.board, camera.size);
    std::vector<std::string> args = {"--size", "60000x45000"};
    for (const std::string& a : lensrigArgs("-", "2", "100")) args.push_back(a);
    const ProgramResult r = runLensrig(dir, args);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("the written lens does not reproduce the fit"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("The files are kept"), std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("param/Cam_mat.txt")));
}

TEST(LensrigRealPhotos, WrittenLensesReproduceTheirFitOrSayTheyDoNot) {
    const RealPhotoSeries& series = leftChessboardSeries();
    ASSERT_FALSE(series.numbers.empty());
    TempDir dir;
    writeRealSeries(dir.path(), "pts", series, true);
    for (const char* mode : {"1", "2"})
        for (const char* iterations : {"30", "100"}) {
            SCOPED_TRACE(std::string("mode ") + mode + ", iterations " + iterations);
            const ProgramResult r = runLensrig(dir, lensrigArgs("img%03d.jpg", mode, iterations));
            const double reread =
                rereadError(dir.file("param"), series.numbers, series.image, series.board);
            const double fitted = fittedError(dir);
            if (r.status == 3) {
                EXPECT_NE(r.err.find("does not reproduce the fit"), std::string::npos) << r.err;
                EXPECT_GT(reread, fitted * 1.01 + 0.01);
                continue;
            }
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_LE(reread, fitted * 1.01 + 0.01);
            EXPECT_LT(fitted, 1.0);
            EXPECT_TRUE(fileExists(dir.file("reproj/reprojectionCam001.png")));
            if (std::string(mode) == "2") {
                EXPECT_EQ(readValues(dir.file("param/dist.txt")).size(), 5u);
                // The same corners give OpenCV's own calibration.
                const ReferenceCalibration ref =
                    referenceCalibration(series, std::stoi(iterations));
                const std::vector<double> k = readValues(dir.file("param/Cam_mat.txt"));
                EXPECT_NEAR(k[0], ref.k.at<double>(0, 0), 1e-4 * ref.k.at<double>(0, 0));
                EXPECT_NEAR(k[2], ref.k.at<double>(0, 2), 0.01);
                EXPECT_NEAR(fitted, ref.rms, 1e-4);
            } else {
                // A rational fit of these photos cancels its own terms: lensrig says so.
                EXPECT_NE(r.err.find("ill-conditioned"), std::string::npos) << r.err;
            }
        }
}
