// camera.cameramodel and camera_info_*.yaml: the exact layout of each on one small record, and
// round trips through the readers their users have (mrcal's Python module and tools, ROS's
// camera calibration parsers), both installed by scripts/setup.sh --tests.
#include <gtest/gtest.h>

#include <opencv2/calib3d.hpp>
#include <sstream>

#include "mrcal_export.h"
#include "ros_export.h"
#include "test_support.h"

namespace {
constexpr double kProjectionTolerancePx = 1e-6;  // mrcal against cv::projectPoints
constexpr double kRectifiedRowTolerancePx = 1e-6;
constexpr double kBaselineTolerance = 1e-9;  // board units
const char* const kPython = "/usr/bin/python3";

// A rig as rigflow holds one: camera lens "standard" or "rational", projector "standard" or
// "none"; the projector turned and shifted enough that a transposed R or an inverted pose
// moves every point by many pixels.
Results rig(const std::string& cameraLens, const std::string& projectorLens) {
    Results r;
    r.hasProjector = true;
    r.camera.size = {960, 720};
    r.camera.cameraMatrix =
        (cv::Mat_<double>(3, 3) << 1000.5, 0, 479.3, 0, 1002.25, 361.7, 0, 0, 1);
    r.camera.model = cameraLens;
    r.camera.distortion =
        cameraLens == "rational"
            ? cv::Mat((cv::Mat_<double>(1, 8) << -0.21, 0.08, 0.0012, -0.0007, 0.02, 0.05, -0.01,
                       0.003))
            : cv::Mat((cv::Mat_<double>(1, 5) << -0.12, 0.09, 0.0008, -0.0006, -0.02));
    r.projector.size = {1024, 768};
    r.projector.cameraMatrix = (cv::Mat_<double>(3, 3) << 1500, 0, 512.5, 0, 1498, 700, 0, 0, 1);
    r.projector.model = projectorLens;
    r.projector.distortion =
        projectorLens == "none"
            ? cv::Mat(cv::Mat::zeros(1, 5, CV_64F))
            : cv::Mat((cv::Mat_<double>(1, 5) << 0.03, -0.01, 0.0004, 0.0002, 0));
    cv::Rodrigues(cv::Vec3d(0.05, -0.3, 0.02), r.stereo.r);
    r.stereo.t = (cv::Mat_<double>(3, 1) << 180, -12, 25);
    return r;
}

// A 9 x 7 board of 30 mm squares about 0.9 m ahead of the camera, in the camera's frame.
std::vector<cv::Point3d> boardInCamera() {
    std::vector<cv::Point3d> board;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) board.emplace_back(30.0 * x, 30.0 * y, 0);
    cv::Matx33d rot;
    cv::Rodrigues(cv::Vec3d(0.2, -0.15, 0.05), rot);
    for (cv::Point3d& p : board) p = rot * p + cv::Point3d(-120, -90, 900);
    return board;
}

std::vector<double> numbersOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> v;
    for (std::string word; in >> word;) v.push_back(std::stod(word));
    return v;
}

DeviceResult goldenDevice() {
    DeviceResult d;
    d.size = {640, 480};
    d.cameraMatrix = (cv::Mat_<double>(3, 3) << 500, 0, 320.5, 0, 510, 240.25, 0, 0, 1);
    d.distortion = (cv::Mat_<double>(1, 5) << -0.125, 0.015625, 0.0009765625, -0.001953125, 0);
    d.model = "standard";
    return d;
}
}  // namespace

TEST(MrcalModel, GoldenText) {
    std::string text;
    ASSERT_TRUE(mrcalModelText(goldenDevice(), cv::Mat::eye(3, 3, CV_64F),
                               (cv::Mat_<double>(3, 1) << -100, 0, 2.5), "a note", &text));
    EXPECT_EQ(text,
              "# a note\n# checks: passed\n"
              "# pixels: (0, 0) is the centre of the top-left pixel; translations in board units\n"
              "{\n    'lensmodel':  'LENSMODEL_OPENCV5',\n\n"
              "    # intrinsics are fx,fy,cx,cy,distortion0,distortion1,....\n"
              "    'intrinsics': [ 500, 510, 320.5, 240.25, -0.125, 0.015625, 0.0009765625, "
              "-0.001953125, 0, ],\n\n"
              "    # extrinsics are rt_fromref\n"
              "    'extrinsics': [ 0, 0, 0, -100, 0, 2.5, ],\n\n"
              "    'imagersize': [ 640, 480, ],\n}\n");
}

TEST(MrcalModel, LensModelsAndWhatCannotBeWritten) {
    DeviceResult d = goldenDevice();
    EXPECT_EQ(distortionTerms(d), 5);
    d.distortion = cv::Mat::zeros(1, 5, CV_64F);
    EXPECT_EQ(distortionTerms(d), 0) << "no distortion: a pinhole";
    d.model = "rational";
    EXPECT_EQ(distortionTerms(d), 8) << "a rational lens keeps its eight even when zero";
    d.model = "standard";
    d.distortion = cv::Mat::zeros(1, 14, CV_64F);
    d.distortion.at<double>(6) = 1e-3;
    EXPECT_EQ(distortionTerms(d), 8);
    d.distortion.at<double>(12) = 1e-3;  // a tilt no model here holds
    EXPECT_EQ(distortionTerms(d), -1);
    std::string text = "untouched";
    EXPECT_FALSE(
        mrcalModelText(d, cv::Mat::eye(3, 3, CV_64F), cv::Mat::zeros(3, 1, CV_64F), "", &text));
    EXPECT_EQ(text, "untouched");
    Results r = rig("standard", "standard");
    r.projector.distortion = d.distortion;
    TempDir dir;
    EXPECT_FALSE(writeMrcalModels(dir.path(), r));
    EXPECT_FALSE(writeRosCameraInfo(dir.path(), r));
    EXPECT_FALSE(writeMrcalModels(dir.path() + "/no/such/folder", rig("standard", "none")));
}

// mrcal projects the board through both files as OpenCV does with our parameters, and its
// distortion plot renders them.
TEST(MrcalModel, MrcalProjectsAsOpenCV) {
    const std::vector<cv::Point3d> board = boardInCamera();
    std::string points;
    for (const cv::Point3d& p : board) points += cv::format("%.17g %.17g %.17g\n", p.x, p.y, p.z);
    const std::string script =
        "import sys, numpy as np, mrcal\n"
        "p = np.loadtxt(sys.argv[1])\n"
        "for f in sys.argv[2:]:\n"
        "    m = mrcal.cameramodel(f)\n"
        "    q = mrcal.project(mrcal.transform_point_rt(m.extrinsics_rt_fromref(), p),"
        " *m.intrinsics())\n"
        "    print(m.intrinsics()[0], m.imagersize()[0], m.imagersize()[1])\n"
        "    for u, v in q: print(repr(u), repr(v))\n";
    double worst = 0;
    int compared = 0;
    for (const auto& [cameraLens, projectorLens, cameraName, projectorName] :
         {std::tuple{"rational", "standard", "LENSMODEL_OPENCV8", "LENSMODEL_OPENCV5"},
          std::tuple{"standard", "none", "LENSMODEL_OPENCV5", "LENSMODEL_PINHOLE"}}) {
        SCOPED_TRACE(std::string(cameraLens) + " camera, " + projectorLens + " projector");
        const Results r = rig(cameraLens, projectorLens);
        TempDir dir;
        ASSERT_TRUE(writeMrcalModels(dir.path(), r));
        writeFile(dir.file("board.txt"), points);
        const ProgramResult py =
            runProgram(kPython,
                       {"-c", script, dir.file("board.txt"), dir.file("camera.cameramodel"),
                        dir.file("projector.cameramodel")},
                       dir.path());
        ASSERT_EQ(py.status, 0) << "scripts/setup.sh --tests installs python3-mrcal\n" << py.err;
        std::istringstream out(py.out);
        for (const DeviceResult* d : {&r.camera, &r.projector}) {
            std::string lens;
            int width = 0, height = 0;
            out >> lens >> width >> height;
            EXPECT_EQ(lens, d == &r.camera ? cameraName : projectorName);
            EXPECT_EQ(cv::Size(width, height), d->size);
            std::vector<cv::Point2d> expected;
            const cv::Mat rvec = d == &r.camera ? cv::Mat::zeros(3, 1, CV_64F) : cv::Mat();
            cv::Mat rv = rvec;
            if (d == &r.projector) cv::Rodrigues(r.stereo.r, rv);
            const cv::Mat t = d == &r.camera ? cv::Mat::zeros(3, 1, CV_64F) : r.stereo.t;
            cv::projectPoints(board, rv, t, d->cameraMatrix, d->distortion, expected);
            for (const cv::Point2d& e : expected) {
                double u = 0, v = 0;
                out >> u >> v;
                ASSERT_TRUE(out) << py.out;
                worst = std::max(worst, std::max(std::abs(u - e.x), std::abs(v - e.y)));
                ++compared;
            }
        }
        const ProgramResult plot =
            runProgram("/usr/bin/mrcal-show-distortion-off-pinhole",
                       {"--hardcopy", dir.file("distortion.png"), dir.file("camera.cameramodel")},
                       dir.path(), {"DISPLAY", "WAYLAND_DISPLAY"});
        ASSERT_EQ(plot.status, 0) << "scripts/setup.sh --tests installs mrcal\n" << plot.err;
        EXPECT_GT(readFile(dir.file("distortion.png")).size(), 1000u);
    }
    std::cout << "max |mrcal - OpenCV| over " << compared << " projections: " << worst << " px\n";
    EXPECT_EQ(compared, 4 * 63);
    EXPECT_LT(worst, kProjectionTolerancePx);
}

TEST(RosCameraInfo, GoldenTextOfALoneCamera) {
    Results r;
    r.camera = goldenDevice();
    r.camera.checks = "FAILED: camera RMS reprojection error 2.5 px";
    TempDir dir;
    ASSERT_TRUE(writeRosCameraInfo(dir.path(), r));
    EXPECT_FALSE(fileExists(dir.file("camera_info_projector.yaml")));
    EXPECT_EQ(readFile(dir.file("camera_info_camera.yaml")),
              "# checks: FAILED: camera RMS reprojection error 2.5 px\n"
              "image_width: 640\nimage_height: 480\ncamera_name: camera\n"
              "camera_matrix:\n  rows: 3\n  cols: 3\n  data: [500, 0, 320.5, 0, 510, 240.25, 0, 0, "
              "1]\n"
              "distortion_model: plumb_bob\n"
              "distortion_coefficients:\n  rows: 1\n  cols: 5\n"
              "  data: [-0.125, 0.015625, 0.0009765625, -0.001953125, 0]\n"
              "rectification_matrix:\n  rows: 3\n  cols: 3\n  data: [1, 0, 0, 0, 1, 0, 0, 0, 1]\n"
              "projection_matrix:\n  rows: 3\n  cols: 4\n"
              "  data: [500, 0, 320.5, 0, 0, 510, 240.25, 0, 0, 0, 1, 0]\n");
}

// ROS's parsers read the pair back to the very numbers, and the two rectified views put every
// board point on one row: R1, P1 and R2, P2 belong to the stereo R, T in its direction.
TEST(RosCameraInfo, ParsersReadThePairBack) {
    const Results r = rig("rational", "standard");
    TempDir dir;
    ASSERT_TRUE(writeRosCameraInfo(dir.path(), r));
    const ProgramResult py = runProgram(
        kPython,
        {"-c",
         "import sys\n"
         "from camera_calibration_parsers import readCalibration\n"
         "for f in sys.argv[1:]:\n"
         "    name, c = readCalibration(f)\n"
         "    print(name, c.distortion_model, c.width, c.height)\n"
         "    print(' '.join(repr(v) for v in list(c.K) + list(c.R) + list(c.P) + list(c.D)))\n",
         dir.file("camera_info_camera.yaml"), dir.file("camera_info_projector.yaml")},
        dir.path());
    ASSERT_EQ(py.status, 0) << "scripts/setup.sh --tests installs "
                               "python3-camera-calibration-parsers\n"
                            << py.err;
    cv::Mat r1, r2, p1, p2, q;
    cv::stereoRectify(r.camera.cameraMatrix, r.camera.distortion, r.projector.cameraMatrix,
                      r.projector.distortion, r.camera.size, r.stereo.r, r.stereo.t, r1, r2, p1, p2,
                      q);
    std::istringstream out(py.out);
    std::vector<cv::Mat> read;  // R and P of each
    for (const auto& [d, name, model, rect, proj] :
         {std::tuple{&r.camera, "camera", "rational_polynomial", r1, p1},
          std::tuple{&r.projector, "projector", "plumb_bob", r2, p2}}) {
        std::string gotName, gotModel, values;
        int width = 0, height = 0;
        out >> gotName >> gotModel >> width >> height;
        std::getline(out, values);
        std::getline(out, values);
        EXPECT_EQ(gotName, name);
        EXPECT_EQ(gotModel, model);
        EXPECT_EQ(cv::Size(width, height), d->size);
        const std::vector<double> v = numbersOf(values);
        ASSERT_EQ(v.size(), 9u + 9 + 12 + d->distortion.total()) << py.out;
        for (int i = 0; i < 9; ++i) EXPECT_EQ(v[i], d->cameraMatrix.at<double>(i / 3, i % 3));
        for (int i = 0; i < 9; ++i) EXPECT_EQ(v[9 + i], rect.at<double>(i / 3, i % 3));
        for (int i = 0; i < 12; ++i) EXPECT_EQ(v[18 + i], proj.at<double>(i / 4, i % 4));
        for (std::size_t i = 0; i < d->distortion.total(); ++i)
            EXPECT_EQ(v[30 + i], d->distortion.at<double>(i));
        read.push_back(cv::Mat(v).rowRange(9, 18).reshape(1, 3).clone());
        read.push_back(cv::Mat(v).rowRange(18, 30).reshape(1, 3).clone());
    }
    const cv::Matx33d rCam(read[0]), rProj(read[2]), stereoR(r.stereo.r);
    const cv::Matx34d pCam(read[1]), pProj(read[3]);
    const cv::Vec3d t(r.stereo.t);
    // ROS: the second device's P holds fx' * Tx, Tx the rectified baseline's x (negative when
    // the projector is right of the camera, the pair ROS calls left and right).
    EXPECT_NEAR(pProj(0, 3) / pProj(0, 0), (rProj * t)[0], kBaselineTolerance);
    EXPECT_NEAR(std::abs(pProj(0, 3) / pProj(0, 0)), cv::norm(t), kBaselineTolerance);
    EXPECT_EQ(pCam(0, 3), 0);
    double worst = 0;
    for (const cv::Point3d& x : boardInCamera()) {
        const cv::Vec3d cam(x.x, x.y, x.z);
        const cv::Vec3d a = rCam * cam, b = rProj * (stereoR * cam + t);
        const cv::Vec3d qa = pCam * cv::Vec4d(a[0], a[1], a[2], 1);
        const cv::Vec3d qb = pProj * cv::Vec4d(b[0], b[1], b[2], 1);
        worst = std::max(worst, std::abs(qa[1] / qa[2] - qb[1] / qb[2]));
    }
    EXPECT_LT(worst, kRectifiedRowTolerancePx);
}
