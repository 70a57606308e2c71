// The pipeline end to end on a generated scene with lens distortion, and its input checks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "calib_fixture.h"
#include "real_photos.h"
#include "rigflow_scene.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
constexpr double kCameraFocalTolerance = 0.01;  // relative
constexpr double kCameraCentreOfWidth = 0.01;
constexpr double kProjectorFocalTolerance = 0.02;  // relative
constexpr double kBaselineTolerance = 0.02;        // relative
constexpr double kRotationToleranceDeg = 0.5;
// The truth lies within kHonestSigmas σ of the joint results in every figure (the corners carry
// no shared bias once the lens's bending of the marker edges is taken out of them).
constexpr double kHonestSigmas = 3;
// "At least as close as the chain": the chain's error plus a tie of kTieSigmas σ (on this
// scene the chain is already within 0.01 % and 0.005 deg of the truth).
constexpr double kTieSigmas = 2;

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

// report.html in a real browser: it loads with no console error or failed load, shows its
// charts, and its screenshot is not blank.
void checkReportInBrowser(const std::string& report) {
    const std::string chromium = "/usr/bin/chromium";
    ASSERT_TRUE(fileExists(chromium)) << "scripts/setup.sh --tests installs chromium";
    const std::vector<std::string> common = {"--headless",
                                             "--no-sandbox",
                                             "--disable-gpu",
                                             "--hide-scrollbars",
                                             "--enable-logging=stderr",
                                             "--v=0"};
    std::vector<std::string> dump = common;
    dump.push_back("--dump-dom");
    dump.push_back("file://" + report);
    const ProgramResult dom = runProgram(chromium, dump, fs::path(report).parent_path().string());
    ASSERT_EQ(dom.status, 0) << dom.err;
    for (const char* bad : {"Uncaught", "Failed to load", "ERR_FILE_NOT_FOUND", "net::ERR"})
        EXPECT_EQ(dom.err.find(bad), std::string::npos) << bad << "\n" << dom.err;
    EXPECT_NE(dom.out.find("<h1>Calibration report</h1>"), std::string::npos);
    EXPECT_NE(dom.out.find("Every check passed."), std::string::npos);
    std::size_t charts = 0;
    for (std::size_t at = dom.out.find("<svg"); at != std::string::npos;
         at = dom.out.find("<svg", at + 1))
        ++charts;
    EXPECT_EQ(charts, 11u) << "three bar charts, two scatters, two arrow plots, two coverages, "
                              "two projection-uncertainty maps";
    EXPECT_NE(dom.out.find("data:image/jpeg;base64,"), std::string::npos) << "thumbnails inline";
    EXPECT_EQ(dom.out.find("http"), dom.out.find("http://www.w3.org")) << "nothing from the net";

    std::vector<std::string> shot = common;
    const std::string png = fs::path(report).parent_path().string() + "/report_screenshot.png";
    shot.push_back("--window-size=1100,1400");
    shot.push_back("--screenshot=" + png);
    shot.push_back("file://" + report);
    ASSERT_EQ(runProgram(chromium, shot, fs::path(report).parent_path().string()).status, 0);
    const cv::Mat image = cv::imread(png, cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(image.empty());
    cv::Scalar mean, spread;
    cv::meanStdDev(image, mean, spread);
    EXPECT_GT(spread[0], 20) << "the screenshot is not blank";
}

// calibration.json holds the OpenCV YAML's numbers exactly, and a standard YAML reader takes
// calibration.yaml with the same numbers.
void checkPlainFiles(const std::string& folder, const cv::Mat& camera, const cv::Mat& t) {
    cv::FileStorage json(folder + "/calibration.json", cv::FileStorage::READ);
    ASSERT_TRUE(json.isOpened());
    const cv::FileNode k = json["camera"]["camera_matrix"];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(static_cast<double>(k[r][c]), camera.at<double>(r, c));
    const cv::FileNode jt = json["stereo"]["T"];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<double>(jt[i]), t.at<double>(i));
    EXPECT_EQ(static_cast<std::string>(json["camera"]["distortion"]["model"]), "standard");
    EXPECT_EQ(json["camera"]["opengl_projection"]["matrix_row_major"].size(), 4u);

    const ProgramResult py =
        runProgram("/usr/bin/python3",
                   {"-c",
                    "import sys, yaml\n"
                    "d = yaml.safe_load(open(sys.argv[1]))\n"
                    "print(repr(d['camera']['camera_matrix'][0][0]), repr(d['stereo']['T'][2]))",
                    folder + "/calibration.yaml"},
                   folder);
    ASSERT_EQ(py.status, 0) << py.err;
    std::istringstream values(py.out);
    double fx = 0, tz = 0;
    values >> fx >> tz;
    EXPECT_EQ(fx, camera.at<double>(0, 0));
    EXPECT_EQ(tz, t.at<double>(2));
}

// rigflow's mrcal models and camera_info files load in mrcal and ROS's parsers with the numbers
// of the OpenCV YAML (the formats themselves are tested in consumer_files_tests).
void checkConsumerFiles(const std::string& folder, const cv::Mat& camera, const cv::Mat& t) {
    const ProgramResult py =
        runProgram("/usr/bin/python3",
                   {"-c",
                    "import mrcal\n"
                    "from camera_calibration_parsers import readCalibration\n"
                    "c, p = mrcal.cameramodel('camera.cameramodel'), "
                    "mrcal.cameramodel('projector.cameramodel')\n"
                    "print(repr(c.intrinsics()[1][0]), repr(p.extrinsics_rt_fromref()[5]))\n"
                    "print(repr(readCalibration('camera_info_camera.yaml')[1].K[0]),"
                    " readCalibration('camera_info_projector.yaml')[0])\n"},
                   folder);
    ASSERT_EQ(py.status, 0) << py.err;
    std::istringstream values(py.out);
    double fx = 0, tz = 0, rosFx = 0;
    std::string name;
    values >> fx >> tz >> rosFx >> name;
    EXPECT_EQ(fx, camera.at<double>(0, 0));
    EXPECT_EQ(tz, t.at<double>(2));
    EXPECT_EQ(rosFx, camera.at<double>(0, 0));
    EXPECT_EQ(name, "projector");
}

double rotationDeg(const cv::Mat& r) {
    cv::Mat v;
    cv::Rodrigues(r, v);
    return cv::norm(v) * 180 / CV_PI;
}

// The joint results beside the chain's (the programs' --results files) and the truth: at least
// as close in every group, and within 3 σ of the truth.
void checkJointAgainstChain(const std::string& folder, const cv::FileStorage& truth) {
    cv::FileStorage cam(folder + "/camera.yaml", cv::FileStorage::READ);
    cv::FileStorage proj(folder + "/projector.yaml", cv::FileStorage::READ);
    cv::FileStorage stereo(folder + "/stereo.yaml", cv::FileStorage::READ);
    cv::FileStorage lensrig(folder + "/camera/lensrig_results.yaml", cv::FileStorage::READ);
    cv::FileStorage lumenrig(folder + "/projector/lumenrig_results.yaml", cv::FileStorage::READ);
    cv::Mat camK, projK, rTrue, tTrue, jc, jp, jr, jt, cc, cp, cr, ct, sc, sp;
    truth["camera_matrix"] >> camK;
    truth["projector_matrix"] >> projK;
    truth["R"] >> rTrue;
    truth["T"] >> tTrue;
    cam["camera_matrix"] >> jc;
    cam["std_deviations"] >> sc;
    proj["camera_matrix"] >> jp;
    proj["std_deviations"] >> sp;
    stereo["R"] >> jr;
    stereo["T"] >> jt;
    lensrig["camera_matrix"] >> cc;
    lumenrig["projector_matrix"] >> cp;
    lumenrig["R"] >> cr;
    lumenrig["T"] >> ct;
    ASSERT_FALSE(sc.empty() || sp.empty() || jt.empty() || ct.empty());
    const int k[4][2] = {{0, 0}, {1, 1}, {0, 2}, {1, 2}};
    const char* names[] = {"fx", "fy", "cx", "cy"};
    double chainSum[2] = {0, 0}, jointSum[2] = {0, 0}, sigmaSum[2] = {0, 0};  // camera, projector
    for (int device = 0; device < 2; ++device)
        for (int i = 0; i < 4; ++i) {
            const cv::Mat& t = device ? projK : camK;
            const double truthValue = t.at<double>(k[i][0], k[i][1]);
            const double chain = (device ? cp : cc).at<double>(k[i][0], k[i][1]) - truthValue;
            const double joint = (device ? jp : jc).at<double>(k[i][0], k[i][1]) - truthValue;
            const double sigma = (device ? sp : sc).at<double>(i);
            std::cout << (device ? "projector " : "camera ") << names[i] << ": chain error "
                      << chain << ", joint error " << joint << " ± " << sigma << " px\n";
            EXPECT_LT(std::abs(joint), kHonestSigmas * sigma) << names[i];
            chainSum[device] += std::abs(chain);
            jointSum[device] += std::abs(joint);
            sigmaSum[device] += sigma;
        }
    for (int device = 0; device < 2; ++device)
        EXPECT_LE(jointSum[device], chainSum[device] + kTieSigmas * sigmaSum[device] / 4)
            << "device " << device;
    const double baselineSigma = stereo["baseline_std_deviation"];
    const double angleSigma = stereo["rotation_std_deviation_deg"];
    const double chainBaseline = cv::norm(ct) - cv::norm(tTrue);
    const double jointBaseline = cv::norm(jt) - cv::norm(tTrue);
    const double chainAngle = rotationDeg(cr) - rotationDeg(rTrue);
    const double jointAngle = rotationDeg(jr) - rotationDeg(rTrue);
    std::cout << "baseline: chain error " << chainBaseline << ", joint error " << jointBaseline
              << " ± " << baselineSigma << "; rotation angle: chain error " << chainAngle
              << ", joint error " << jointAngle << " ± " << angleSigma << " deg\n";
    EXPECT_LT(std::abs(jointBaseline), kHonestSigmas * baselineSigma);
    EXPECT_LT(std::abs(jointAngle), kHonestSigmas * angleSigma);
    EXPECT_LE(std::abs(jointBaseline), std::abs(chainBaseline) + kTieSigmas * baselineSigma);
    EXPECT_LE(std::abs(jointAngle), std::abs(chainAngle) + kTieSigmas * angleSigma);
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
    // The lens models as auto chooses them for this scene: no second choice to pay for.
    // undistort is the chain's option: the joint solve always takes the raw camera points.
    copyScene(raw.path(),
              "undistort = 0\ncamera_model = standard\nprojector_distortion = 0\n"
              "refine = chain\n");
    const ProgramResult r =
        runProgram(programPath("rigflow"), {"--truth", scene() + "/truth.yaml", good.path()}, ".");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[6/7] lumenrig: projector and stereo calibration ... done\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("[7/7] joint solve of the whole rig ... done"), std::string::npos);
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
    checkJointAgainstChain(good.file("calibration"), truth);

    cv::FileStorage cam(good.file("calibration/camera.yaml"), cv::FileStorage::READ);
    cv::Mat dist, perView;
    cam["distortion_coefficients"] >> dist;
    cam["per_view_reprojection_errors"] >> perView;
    EXPECT_EQ(dist.total(), 5u) << "a plain lens gets the standard model";
    EXPECT_EQ(static_cast<std::string>(cam["lens_model"]), "standard");
    EXPECT_EQ(perView.total(), 10u);
    EXPECT_EQ(static_cast<int>(cam["image_width"]), 960);
    EXPECT_GT(static_cast<double>(cam["avg_reprojection_error"]), 0.0);
    cv::FileStorage stereo(good.file("calibration/stereo.yaml"), cv::FileStorage::READ);
    cv::Mat e;
    stereo["E"] >> e;
    EXPECT_EQ(e.rows, 3);
    EXPECT_TRUE(fileExists(good.file("calibration/camera_errors.png")));
    EXPECT_TRUE(fileExists(good.file("calibration/projector_errors.png")));

    checkReportInBrowser(good.file("calibration/report.html"));
    checkPlainFiles(good.file("calibration"), g.camera, g.t);
    checkConsumerFiles(good.file("calibration"), g.camera, g.t);

    // The same correspondences given as point folders, with no photo, pattern file or
    // projection image: no detection, the same calibration.
    TempDir points;
    fs::copy(good.file("calibration/points_cam"), points.file("cam"), fs::copy_options::recursive);
    fs::copy(good.file("calibration/points_proj"), points.file("proj"),
             fs::copy_options::recursive);
    writeFile(points.file("rigflow.cfg"),
              "camera_points = cam\nprojector_points = proj\ncamera_size = 960x720\n"
              "camera_model = standard\nprojector_distortion = 0\nrefine = chain\n"
              "projector_size = " +
                  std::to_string(static_cast<int>(truth["projector_width"])) + "x" +
                  std::to_string(static_cast<int>(truth["projector_height"])) + "\n");
    const ProgramResult rp = runProgram(programPath("rigflow"), {points.path()}, ".");
    ASSERT_EQ(rp.status, 0) << rp.out << rp.err;
    EXPECT_NE(rp.out.find("[4/4] lumenrig: projector and stereo calibration ... done\n"),
              std::string::npos)
        << rp.out;
    EXPECT_EQ(rp.out.find("joint solve"), std::string::npos);
    // refine = chain: the programs' results as they are, the same as the joint run's chain.
    const Recovered p = readResults(points.path());
    cv::FileStorage lensrig(good.file("calibration/camera/lensrig_results.yaml"),
                            cv::FileStorage::READ);
    cv::FileStorage lumenrig(good.file("calibration/projector/lumenrig_results.yaml"),
                             cv::FileStorage::READ);
    cv::Mat chainCamera, chainProjector, chainT;
    lensrig["camera_matrix"] >> chainCamera;
    lumenrig["projector_matrix"] >> chainProjector;
    lumenrig["T"] >> chainT;
    EXPECT_EQ(cv::norm(p.camera, chainCamera), 0.0);
    EXPECT_EQ(cv::norm(p.projector, chainProjector), 0.0);
    EXPECT_EQ(cv::norm(p.t, chainT), 0.0);
    EXPECT_NE(cv::norm(g.projector, chainProjector), 0.0) << "the joint solve moved it";
    // The YAML files hold the numbers of the text files at full precision: the text files
    // agree with them to their six significant digits.
    const std::vector<double> k = numbers(good.file("calibration/camera/Cam_mat.txt"));
    const std::vector<double> pk = numbers(good.file("calibration/projector/K.txt"));
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(cv::format("%g", p.camera.at<double>(i / 3, i % 3)), cv::format("%g", k[i]));
        EXPECT_EQ(cv::format("%g", p.projector.at<double>(i / 3, i % 3)), cv::format("%g", pk[i]));
    }
    EXPECT_NE(p.camera.at<double>(0, 0), k[0]) << "full precision, not the six-digit text";
}

TEST(Rigflow, MissingOrMismatchedInputsStopBeforeAnyProgramRuns) {
    struct Case {
        std::string name;
        std::function<void(const std::string&)> damage;
        std::string message;
    };
    const Case cases[] = {
        {"no pattern folder", [](const std::string& d) { fs::remove_all(d + "/data"); },
         "pattern file data/pat.00 is missing"},
        {"unknown key",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg", "camera_images = images/cam%03d.png\ncolour = 3\n");
         },
         "line 2: unknown key colour"},
        {"no camera series",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg", "projector_images = images/proj%03d.png\n");
         },
         "camera_images (photos) or camera_points (point files) is required"},
        {"unknown camera model",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg",
                       "camera_images = images/cam%03d.png\ncamera_model = fisheye\n");
         },
         "bad value for camera_model: fisheye"},
        {"points folder without true numbers",
         [](const std::string& d) {
             fs::create_directories(d + "/pts");
             writeFile(d + "/rigflow.cfg", "camera_points = pts\ncamera_size = 960x720\n");
         },
         "camera_points: pts holds no cam_true_num.txt"},
        {"points without a size",
         [](const std::string& d) {
             fs::create_directories(d + "/pts");
             writeFile(d + "/pts/cam_true_num.txt", "0\n");
             writeFile(d + "/rigflow.cfg", "camera_points = pts\n");
         },
         "camera_size is required with camera_points"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        copyScene(dir.path(), "", tinyScene());
        c.damage(dir.path());
        const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("calibration/logs"))) << "no program ran";
    }
}

// A program that fails once started stops the run with exit 3, its last lines, the advice
// for its status and its whole log kept. rigflow starts the programs beside itself: a copy
// of it beside a lensrig that fails is a run whose lensrig fails.
TEST(Rigflow, FailingStepStopsWithItsOutputKept) {
    const RealPhotoSeries& series = leftChessboardSeries();
    ASSERT_FALSE(series.numbers.empty());
    struct Case {
        const char* name;
        int status;
        std::string advice;
    };
    const Case cases[] = {
        {"its own complaint", 1,
         "rigflow: the lines above are lensrig's own and name what it could not do; fix that "
         "and run rigflow again\n"},
        {"a lens that does not reproduce its fit", 3,
         "rigflow: the camera lens as written does not reproduce its fit: set camera_model = "
         "standard (or auto)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir.file("bin"));
        fs::copy_file(programPath("rigflow"), dir.file("bin/rigflow"));
        writeFile(dir.file("bin/lensrig"),
                  "#!/bin/sh\necho 'lensrig: 13 views read'\n"
                  "echo 'lensrig: view 7 cannot be fitted' >&2\nexit " +
                      std::to_string(c.status) + "\n");
        fs::permissions(dir.file("bin/lensrig"), fs::perms::owner_all, fs::perm_options::add);
        const std::string work = dir.file("work");
        writeRealSeries(work, "pts", series, true);
        writeFile(work + "/rigflow.cfg",
                  "camera_points = pts\ncamera_images = img%03d.jpg\ncamera_model = standard\n");
        const ProgramResult r = runProgram(dir.file("bin/rigflow"), {work}, ".");
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        EXPECT_NE(r.out.find("[1/1] lensrig: camera calibration (standard lens model) ... failed "
                             "(exit status " +
                             std::to_string(c.status) + ")\n"),
                  std::string::npos)
            << r.out;
        const std::string log = work + "/calibration/logs/lensrig.log";
        EXPECT_EQ(r.err, "rigflow: lensrig failed; its whole output is in " + log +
                             "; its last lines:\n  lensrig: 13 views read\n  lensrig: view 7 "
                             "cannot be fitted\n" +
                             c.advice);
        EXPECT_EQ(readFile(log), "lensrig: 13 views read\nlensrig: view 7 cannot be fitted\n");
        EXPECT_FALSE(fileExists(work + "/calibration/camera.yaml"));
        EXPECT_FALSE(fileExists(work + "/calibration/FAILED.txt")) << "no check failed";
    }
}

// A detector that finds nothing usable: a failed check (a program ran), its log kept.
TEST(Rigflow, NoUsablePhotoFailsTheChecksWithTheDetectorLogKept) {
    TempDir dir;
    // No photo can have more than 63 markers.
    copyScene(dir.path(), "minimum_number = 63\n", tinyScene());
    const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
    EXPECT_EQ(r.status, 4);  // a program ran: a failed check, no input error
    EXPECT_NE(r.out.find("FAILED: no usable camera photo"), std::string::npos) << r.out;
    EXPECT_TRUE(fileExists(dir.file("calibration/logs/tagharvest_camera.log")));
    EXPECT_FALSE(fileExists(dir.file("calibration/logs/lensrig.log")));
}

// Real photos with a real lens, calibrated from their chessboard corners alone: the model
// kept reproduces its claimed error from its files, is no worse on held-out views than the
// other, and gives OpenCV's own answer on the same corners.
TEST(Rigflow, CalibratesACameraFromExistingCorners) {
    const RealPhotoSeries& series = leftChessboardSeries();
    ASSERT_FALSE(series.numbers.empty());
    TempDir dir;
    writeRealSeries(dir.path(), "pts", series, true);
    writeFile(dir.file("rigflow.cfg"),
              "camera_points = pts\ncamera_images = img%03d.jpg\ncamera_model = auto\n");
    const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("camera 640 x 480, no projector; camera points from pts"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("the camera alone was calibrated"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("calibration/logs/tagharvest_camera.log")));
    EXPECT_TRUE(fileExists(dir.file("calibration/reproj/reprojectionCam001.png")));

    cv::FileStorage cam(dir.file("calibration/camera.yaml"), cv::FileStorage::READ);
    const std::string model = cam["lens_model"];
    const double claimed = cam["avg_reprojection_error"];
    const double heldStandard = cam["held_out_error_standard"];
    const double heldRational = cam["held_out_error_rational"];
    EXPECT_EQ(model, "standard") << "the rational fit of these photos cancels its own terms";
    EXPECT_LE(model == "standard" ? heldStandard : heldRational,
              model == "standard" ? heldRational : heldStandard);
    const double reread =
        rereadError(dir.file("calibration/camera"), series.numbers, series.image, series.board);
    EXPECT_NEAR(reread, claimed, 0.1 * claimed);

    cv::Mat k, d;
    cam["camera_matrix"] >> k;
    cam["distortion_coefficients"] >> d;
    const ReferenceCalibration ref = referenceCalibration(series, 100);
    EXPECT_NEAR(k.at<double>(0, 0), ref.k.at<double>(0, 0), 1e-6 * ref.k.at<double>(0, 0));
    EXPECT_NEAR(k.at<double>(1, 2), ref.k.at<double>(1, 2), 1e-4);
    EXPECT_NEAR(d.at<double>(0), ref.distortion.at<double>(0), 1e-6);
    EXPECT_NEAR(claimed, ref.rms, 1e-9);
}

// Correspondences given as a point folder are counted too: four views are too few.
TEST(Rigflow, GivenCorrespondencesNeedEnoughViews) {
    const SyntheticCamera cam = testCamera(cv::Mat::zeros(1, 5, CV_64F));
    const SyntheticViews v = makeViews(cam, 4, 7);
    TempDir dir;
    writeCameraRun(dir.path(), "pts", {0, 1, 2, 3}, projectViews(cam, v, 0.1, 1), v.board,
                   cam.size);
    writeFile(dir.file("rigflow.cfg"),
              "camera_points = pts\ncamera_size = 640x480\ncamera_model = standard\n");
    const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
    EXPECT_EQ(r.status, 4) << r.out << r.err;
    EXPECT_NE(r.out.find("FAILED: camera views: 4 of 4 usable, min_views = 6"), std::string::npos)
        << r.out;
    EXPECT_TRUE(fileExists(dir.file("calibration/FAILED.txt")));
}
