#include "rigflow_run.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "calibration_export.h"
#include "camera_param.h"
#include "name_pattern.h"
#include "point_files.h"
#include "rigflow_config.h"
#include "run_step.h"

namespace fs = std::filesystem;

namespace {
struct InputError {
    std::string message;
};
struct StepFailed {};

struct Layout {
    std::string out, pointsCam, pointsProj, marked, camera, reproj, undistorted, projector, logs;
};

Layout layoutOf(const RigflowConfig& c) {
    const std::string o = c.output;
    return {o,
            o + "/points_cam",
            o + "/points_proj",
            o + "/marked",
            o + "/camera",
            o + "/reproj",
            o + "/undistorted",
            o + "/projector",
            o + "/logs"};
}

bool exists(const std::string& workDir, const std::string& relative) {
    return fs::exists(fs::path(workDir) / relative);
}

// Checks everything the programs will need; fills in the series length and the sizes.
void checkInputs(const std::string& workDir, RigflowConfig* c, cv::Size* cameraSize,
                 cv::Size* projectorSize) {
    for (const auto& [pattern, key] : {std::pair{c->camera_images, "camera_images"},
                                       std::pair{c->projector_images, "projector_images"}})
        if (countIntegerConversions(pattern) != 1)
            throw InputError{std::string(key) +
                             " must hold one integer conversion such as %03d: " + pattern};
    if (!exists(workDir, c->projection_image))
        throw InputError{"the projected pattern image " + c->projection_image +
                         " is missing (tagforge projection writes one; projection_image names it)"};
    for (int i = 0; i < c->number_of_pattern; ++i) {
        const std::string name = cv::format("data/pat.%02d", i);
        if (!exists(workDir, name))
            throw InputError{
                "pattern file " + name + " is missing: the folder data needs pat.00 to pat." +
                std::to_string(c->number_of_pattern - 1) + " (tagforge patterns --out data)"};
    }
    if (c->image_num == 0)
        while (exists(workDir, expandPattern(c->camera_images, c->first_num + c->image_num)))
            ++c->image_num;
    if (c->image_num == 0)
        throw InputError{"no camera photo " + expandPattern(c->camera_images, c->first_num) +
                         " (camera_images, first_num)"};
    for (int n = c->first_num; n < c->first_num + c->image_num; ++n) {
        for (const std::string& pattern : {c->camera_images, c->projector_images})
            if (!exists(workDir, expandPattern(pattern, n)))
                throw InputError{"missing photo " + expandPattern(pattern, n)};
    }
    if (exists(workDir, expandPattern(c->projector_images, c->first_num + c->image_num)))
        throw InputError{"the two series differ in length: " + std::to_string(c->image_num) +
                         " camera photos but " +
                         expandPattern(c->projector_images, c->first_num + c->image_num) +
                         " exists too (set image_num, or give both series the same photos)"};
    const cv::Mat first =
        cv::imread((fs::path(workDir) / expandPattern(c->camera_images, c->first_num)).string());
    const cv::Mat projection = cv::imread((fs::path(workDir) / c->projection_image).string());
    if (first.empty())
        throw InputError{"cannot read the photo " + expandPattern(c->camera_images, c->first_num)};
    if (projection.empty())
        throw InputError{"cannot read the projected pattern image " + c->projection_image};
    *cameraSize = first.size();
    *projectorSize = projection.size();
}

void runProgram(const std::string& workDir, const Layout& l, int index, int count,
                const std::string& title, const std::string& program,
                const std::vector<std::string>& args, const std::string& logName) {
    std::cout << "[" << index << "/" << count << "] " << title << " ..." << std::flush;
    const std::string log = (fs::path(workDir) / l.logs / logName).string();
    const StepResult r = runStep((fs::path(ownFolder()) / program).string(), args, workDir, log);
    if (r.status != 0) {
        std::cout << " failed (exit status " << r.status << ")" << std::endl;
        std::cerr << "rigflow: " << program << " failed; its whole output is in " << log
                  << "; its last lines:\n";
        std::istringstream lines(r.output);
        std::vector<std::string> all;
        for (std::string line; std::getline(lines, line);) all.push_back(line);
        for (std::size_t i = all.size() > 15 ? all.size() - 15 : 0; i < all.size(); ++i)
            std::cerr << "  " << all[i] << "\n";
        throw StepFailed{};
    }
    std::cout << " done" << std::endl;
}

std::vector<double> numbersIn(const std::string& path) {
    std::ifstream in(path);
    std::vector<double> v;
    double x;
    while (in >> x) v.push_back(x);
    return v;
}

cv::Mat matrixFile(const std::string& path, int rows, int cols) {
    const std::vector<double> v = numbersIn(path);
    if (static_cast<int>(v.size()) < rows * cols)
        throw InputError{"cannot read the result " + path};
    return cv::Mat(rows, cols, CV_64F, const_cast<double*>(v.data())).clone();
}

// The RMS errors lumenrig printed: camera, projector, stereo.
std::vector<double> printedErrors(const std::string& log) {
    std::vector<double> errors;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("RMSE = ", 0) == 0) errors.push_back(std::atof(line.c_str() + 7));
    return errors;
}

double rms(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::pow(a[i].x - b[i].x, 2) + std::pow(a[i].y - b[i].y, 2);
    return a.empty() ? 0.0 : std::sqrt(sum / a.size());
}

std::string at(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

struct Results {
    DeviceResult camera, projector;
    StereoResult stereo;
    std::vector<cv::Mat> cameraRvecs, cameraTvecs;  // by camera view
};

void collectCamera(const std::string& w, const Layout& l, cv::Size size, Results* r) {
    DeviceResult& cam = r->camera;
    cam.size = size;
    cam.cameraMatrix = matrixFile(at(w, l.camera + "/Cam_mat.txt"), 3, 3);
    cam.distortion = cv::Mat(numbersIn(at(w, l.camera + "/dist.txt")), true).reshape(1, 1);
    const std::vector<double> err = numbersIn(at(w, l.camera + "/err_data.txt"));
    std::ifstream errFile(at(w, l.camera + "/err_data.txt"));
    std::string word;
    while (errFile >> word)
        if (word == "cam_err") {
            errFile >> word >> cam.rms;
            break;
        }
    cam.imageNumbers = loadTrueNumbers(at(w, l.pointsCam + "/cam_true_num.txt"));
    for (int n : cam.imageNumbers) {
        const cv::Mat rvec = matrixFile(at(w, numberedName(l.camera, "/cam_R", n, ".txt")), 3, 1);
        const cv::Mat tvec = matrixFile(at(w, numberedName(l.camera, "/cam_t", n, ".txt")), 3, 1);
        const PointList2 image =
            loadPointFile2(at(w, numberedName(l.pointsCam, "/cam2D", n, ".txt")));
        std::vector<cv::Point3f> board;
        std::ifstream in(at(w, numberedName(l.pointsCam, "/cam3D", n, ".txt")));
        for (float x, y, z; in >> x >> y >> z;) board.emplace_back(x, y, z);
        std::vector<cv::Point2f> projected;
        cv::projectPoints(board, rvec, tvec, cam.cameraMatrix, cam.distortion, projected);
        cam.perViewRms.push_back(rms(projected, image));
        r->cameraRvecs.push_back(rvec);
        r->cameraTvecs.push_back(tvec);
    }
}

// Projector per-view errors: the projected markers seen by the camera, back-projected
// onto the board of the camera's pose, taken into the projector and projected there.
void collectProjector(const std::string& w, const Layout& l, const RigflowConfig& c, cv::Size size,
                      Results* r) {
    DeviceResult& proj = r->projector;
    proj.size = size;
    proj.cameraMatrix = matrixFile(at(w, l.projector + "/K.txt"), 3, 3);
    proj.distortion = cv::Mat(numbersIn(at(w, l.projector + "/D.txt")), true).reshape(1, 1);
    const std::vector<double> errors = printedErrors(at(w, l.logs + "/lumenrig.log"));
    if (errors.size() >= 3) {
        proj.rms = errors[1];
        r->stereo.rms = errors[2];
    }
    StereoResult& s = r->stereo;
    s.r = matrixFile(at(w, l.projector + "/R.txt"), 3, 3);
    s.t = matrixFile(at(w, l.projector + "/T.txt"), 3, 1);
    s.f = matrixFile(at(w, l.projector + "/F.txt"), 3, 3);
    const cv::Mat tx =
        (cv::Mat_<double>(3, 3) << 0, -s.t.at<double>(2), s.t.at<double>(1), s.t.at<double>(2), 0,
         -s.t.at<double>(0), -s.t.at<double>(1), s.t.at<double>(0), 0);
    s.e = tx * s.r;

    const cv::Mat k = r->camera.cameraMatrix;
    const std::string onCamFolder = c.undistort ? l.undistorted : l.pointsProj;
    for (int n : loadTrueNumbers(at(w, l.pointsProj + "/proj_true_num.txt"))) {
        const auto view =
            std::find(r->camera.imageNumbers.begin(), r->camera.imageNumbers.end(), n);
        if (view == r->camera.imageNumbers.end()) continue;
        const std::size_t v = view - r->camera.imageNumbers.begin();
        const PointList2 onCam =
            loadPointFile2(at(w, numberedName(onCamFolder, "/proj2D", n, ".txt")));
        const PointList2 pattern =
            loadPointFile2(at(w, numberedName(l.pointsProj, "/pattern", n, ".txt")));
        cv::Mat rb;
        cv::Rodrigues(r->cameraRvecs[v], rb);
        const cv::Vec3d normal(rb.at<double>(0, 2), rb.at<double>(1, 2), rb.at<double>(2, 2));
        const cv::Vec3d t(r->cameraTvecs[v]);
        std::vector<cv::Point3f> inProjector;
        for (const cv::Point2f& p : onCam) {
            const cv::Vec3d ray((p.x - k.at<double>(0, 2)) / k.at<double>(0, 0),
                                (p.y - k.at<double>(1, 2)) / k.at<double>(1, 1), 1.0);
            const cv::Mat x = s.r * cv::Mat(ray * (normal.dot(t) / normal.dot(ray))) + s.t;
            inProjector.emplace_back(x.at<double>(0), x.at<double>(1), x.at<double>(2));
        }
        std::vector<cv::Point2f> projected;
        cv::projectPoints(inProjector, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), proj.cameraMatrix,
                          proj.distortion, projected);
        proj.imageNumbers.push_back(n);
        proj.perViewRms.push_back(rms(projected, pattern));
    }
}

void printMatrix(const std::string& name, const cv::Mat& m) {
    std::cout << "  " << name << ":";
    for (int i = 0; i < static_cast<int>(m.total()); ++i)
        std::cout << " " << m.reshape(1, 1).at<double>(i);
    std::cout << "\n";
}

double rotationAngleDeg(const cv::Mat& r) {
    cv::Mat v;
    cv::Rodrigues(r, v);
    return cv::norm(v) * 180 / CV_PI;
}

void printSummary(const RigflowConfig& c, const Results& r, const std::string& workDir,
                  const Layout& l) {
    const std::string out = (fs::path(workDir) / l.out).string();
    const DeviceResult& cam = r.camera;
    const DeviceResult& proj = r.projector;
    std::cout << std::setprecision(6) << "\n== Calibration\n"
              << "views used: camera " << cam.imageNumbers.size() << " of " << c.image_num
              << ", projector " << proj.imageNumbers.size() << " of " << c.image_num << "\n"
              << "camera (" << cam.size.width << " x " << cam.size.height
              << "): RMS reprojection error " << cam.rms << " px\n";
    printMatrix("camera matrix", cam.cameraMatrix);
    printMatrix("distortion (k1 k2 p1 p2 k3 k4 k5 k6)", cam.distortion);
    std::cout << "projector (" << proj.size.width << " x " << proj.size.height
              << "): RMS reprojection error " << proj.rms << " px\n";
    printMatrix("projector matrix", proj.cameraMatrix);
    printMatrix("projector distortion", proj.distortion);
    std::cout << "stereo: RMS " << r.stereo.rms << " px, baseline " << cv::norm(r.stereo.t)
              << " (board units), rotation " << rotationAngleDeg(r.stereo.r) << " deg\n";
    printMatrix("T (camera to projector)", r.stereo.t);
    std::cout
        << (c.undistort
                ? "The projector and stereo results refer to a pinhole camera (no lens distortion) "
                  "on "
                  "the camera points after the camera's lens distortion was removed (warpdots).\n"
                : "The projector and stereo results refer to a pinhole camera on the raw camera "
                  "points "
                  "(undistort = 0): the camera's lens distortion biases them.\n")
        << "results in " << out << ": camera.yaml, projector.yaml, stereo.yaml, camera_errors.png, "
        << "projector_errors.png\n";
}

void compareWithTruth(const std::string& path, const Results& r) {
    cv::FileStorage fs(path, cv::FileStorage::READ);
    if (!fs.isOpened()) throw InputError{"cannot read the ground truth " + path};
    cv::Mat camK, projK, rTrue, tTrue;
    fs["camera_matrix"] >> camK;
    fs["projector_matrix"] >> projK;
    fs["R"] >> rTrue;
    fs["T"] >> tTrue;
    if (camK.empty() || projK.empty() || rTrue.empty() || tTrue.empty())
        throw InputError{path + " lacks camera_matrix, projector_matrix, R or T"};
    std::cout << "\n== Compared with the ground truth (" << path << ")\n";
    std::cout << std::left << std::setw(22) << "parameter" << std::right << std::setw(14)
              << "recovered" << std::setw(14) << "truth" << std::setw(14) << "error"
              << "\n";
    auto row = [](const std::string& name, double got, double truth, bool relative) {
        char err[32];
        if (relative)
            std::snprintf(err, sizeof err, "%+.3f %%", 100.0 * (got - truth) / truth);
        else
            std::snprintf(err, sizeof err, "%+.3f", got - truth);
        std::cout << std::left << std::setw(22) << name << std::right << std::fixed
                  << std::setprecision(3) << std::setw(14) << got << std::setw(14) << truth
                  << std::setw(14) << err << "\n"
                  << std::defaultfloat;
    };
    const cv::Mat& ck = r.camera.cameraMatrix;
    const cv::Mat& pk = r.projector.cameraMatrix;
    row("camera fx", ck.at<double>(0, 0), camK.at<double>(0, 0), true);
    row("camera fy", ck.at<double>(1, 1), camK.at<double>(1, 1), true);
    row("camera cx (px)", ck.at<double>(0, 2), camK.at<double>(0, 2), false);
    row("camera cy (px)", ck.at<double>(1, 2), camK.at<double>(1, 2), false);
    row("projector fx", pk.at<double>(0, 0), projK.at<double>(0, 0), true);
    row("projector fy", pk.at<double>(1, 1), projK.at<double>(1, 1), true);
    row("projector cx (px)", pk.at<double>(0, 2), projK.at<double>(0, 2), false);
    row("projector cy (px)", pk.at<double>(1, 2), projK.at<double>(1, 2), false);
    row("baseline |T|", cv::norm(r.stereo.t), cv::norm(tTrue), true);
    row("rotation angle (deg)", rotationAngleDeg(r.stereo.r), rotationAngleDeg(rTrue), false);
    const double cosT = r.stereo.t.dot(tTrue) / cv::norm(r.stereo.t) / cv::norm(tTrue);
    std::cout << "rotation error " << rotationAngleDeg(r.stereo.r.t() * rTrue)
              << " deg, T direction error " << std::acos(std::min(1.0, cosT)) * 180 / CV_PI
              << " deg\n";
}

std::vector<std::string> harvestArgs(const RigflowConfig& c, bool projector, const Layout& l) {
    auto num = [](double v) {
        std::ostringstream s;
        s << std::setprecision(15) << v;
        return s.str();
    };
    std::vector<std::string> args;
    if (c.subpixel) args.push_back("--subpixel");
    const std::vector<std::string> positional = {
        c.projection_image,
        projector ? c.projector_images : c.camera_images,
        std::to_string(c.first_num),
        std::to_string(c.image_num),
        num(c.ar_thresh),
        std::to_string(c.thresh_first),
        std::to_string(c.adaptive),
        std::to_string(c.thresh_interval),
        std::to_string(c.thresh_repeat_num),
        std::to_string(c.number_of_pattern),
        num(c.mark_size),
        num(c.mark_space_x),
        num(c.mark_space_y),
        projector ? "1" : "0",
        std::to_string(c.board_rotation),
        projector ? "1" : "0",
        std::to_string(c.minimum_number),
        projector ? l.pointsProj : l.pointsCam,
        l.marked + (projector ? "/proj%03d.png" : "/cam%03d.png")};
    args.insert(args.end(), positional.begin(), positional.end());
    return args;
}

void requireViews(const std::string& workDir, const std::string& trueNum, const std::string& what) {
    std::ifstream in(at(workDir, trueNum));
    int n;
    if (!(in >> n))
        throw InputError{"no usable " + what +
                         " photo: none had more than minimum_number identified markers (see " +
                         trueNum + " and the reports under info/)"};
}
}  // namespace

bool parseRigflowArgs(int argc, char** argv, RigflowOptions* o, int* status) {
    *status = kRigflowUsage;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--config" || a == "--truth") && i + 1 < argc) {
            (a == "--config" ? o->configPath : o->truthPath) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            *status = kRigflowOk;
            o->workDir.clear();
            break;
        } else if (!a.empty() && a[0] != '-' && o->workDir.empty()) {
            o->workDir = a;
        } else {
            o->workDir.clear();
            break;
        }
    }
    if (o->workDir.empty()) {
        std::cout << "Usage: rigflow [--config FILE] [--truth truth.yaml] WORKDIR\n"
                     "Runs tagharvest (camera and projector mode), lensrig, warpdots and lumenrig "
                     "on the photos in\n"
                     "WORKDIR and writes the calibration below it. WORKDIR holds data/pat.NN, the "
                     "projected pattern\n"
                     "image and the configuration file (default WORKDIR/rigflow.cfg), lines of key "
                     "= value:\n";
        for (const std::string& line : rigflowConfigHelp()) std::cout << "  " << line << "\n";
        return false;
    }
    if (o->configPath.empty()) o->configPath = (fs::path(o->workDir) / "rigflow.cfg").string();
    return true;
}

int runRigflow(const RigflowOptions& o) {
    RigflowConfig c;
    const std::string& w = o.workDir;
    try {
        if (!fs::is_directory(w)) throw InputError{"no working directory " + w};
        const std::string problem = readRigflowConfig(o.configPath, &c);
        if (!problem.empty()) throw InputError{problem};
        cv::Size cameraSize, projectorSize;
        checkInputs(w, &c, &cameraSize, &projectorSize);
        const Layout l = layoutOf(c);
        for (const std::string& d : {l.pointsCam, l.pointsProj, l.marked, l.camera, l.reproj,
                                     l.undistorted, l.projector, l.logs})
            fs::create_directories(fs::path(w) / d);
        if (!exists(w, "camparam.dat")) {
            // tagharvest reads it once before it writes its own; identity parameters suffice.
            const CameraParam p = identityCameraParams(cameraSize.width, cameraSize.height);
            if (saveCameraParams(at(w, "camparam.dat").c_str(), 1, &p) != 0)
                throw InputError{"cannot write camparam.dat in " + w};
        }
        std::cout << "rigflow: " << c.image_num << " photo pairs from number " << c.first_num
                  << ", camera " << cameraSize.width << " x " << cameraSize.height << ", projector "
                  << projectorSize.width << " x " << projectorSize.height << std::endl;
        const int steps = c.undistort ? 6 : 4;
        int step = 0;
        runProgram(w, l, ++step, steps, "tagharvest: markers in the camera photos", "tagharvest",
                   harvestArgs(c, false, l), "tagharvest_camera.log");
        requireViews(w, l.pointsCam + "/cam_true_num.txt", "camera");
        runProgram(w, l, ++step, steps, "tagharvest: projected markers in the projector photos",
                   "tagharvest", harvestArgs(c, true, l), "tagharvest_projector.log");
        requireViews(w, l.pointsProj + "/proj_true_num.txt", "projector");
        runProgram(w, l, ++step, steps, "lensrig: camera calibration (rational lens model)",
                   "lensrig",
                   {c.camera_images, l.pointsCam + "/cam2D%03d.txt", l.pointsCam + "/cam3D%03d.txt",
                    l.pointsCam + "/cam_true_num.txt", "1", l.camera, l.reproj,
                    std::to_string(c.camera_iterations)},
                   "lensrig.log");
        const std::string camMat = l.camera + "/Cam_mat.txt", dist = l.camera + "/dist.txt";
        if (c.undistort) {
            runProgram(w, l, ++step, steps, "warpdots: camera points without lens distortion",
                       "warpdots",
                       {l.pointsCam + "/cam_true_num.txt", camMat, dist,
                        l.pointsCam + "/cam2D%03d.txt", l.undistorted + "/cam2D%03d.txt"},
                       "warpdots_camera.log");
            runProgram(w, l, ++step, steps, "warpdots: projected markers without lens distortion",
                       "warpdots",
                       {l.pointsProj + "/proj_true_num.txt", camMat, dist,
                        l.pointsProj + "/proj2D%03d.txt", l.undistorted + "/proj2D%03d.txt"},
                       "warpdots_projector.log");
        }
        const std::string camPoints = c.undistort ? l.undistorted : l.pointsCam;
        const std::string projPoints = c.undistort ? l.undistorted : l.pointsProj;
        runProgram(
            w, l, ++step, steps, "lumenrig: projector and stereo calibration", "lumenrig",
            {l.pointsCam + "/cam_true_num.txt", c.camera_images, camPoints + "/cam2D%03d.txt",
             l.pointsCam + "/cam3D%03d.txt", std::to_string(cameraSize.width),
             std::to_string(cameraSize.height), l.pointsProj + "/proj_true_num.txt",
             c.projector_images, projPoints + "/proj2D%03d.txt", l.pointsProj + "/pattern%03d.txt",
             std::to_string(projectorSize.width), std::to_string(projectorSize.height),
             l.projector + "/R.txt", l.projector + "/T.txt", l.projector + "/F.txt",
             l.projector + "/K.txt", l.projector + "/D.txt",
             std::to_string(c.projector_distortion)},
            "lumenrig.log");

        Results r;
        collectCamera(w, l, cameraSize, &r);
        collectProjector(w, l, c, projectorSize, &r);
        const bool written = writeDeviceYaml(at(w, l.out + "/camera.yaml"), r.camera) &&
                             writeDeviceYaml(at(w, l.out + "/projector.yaml"), r.projector) &&
                             writeStereoYaml(at(w, l.out + "/stereo.yaml"), r.stereo) &&
                             writeErrorChart(at(w, l.out + "/camera_errors.png"),
                                             "Camera: error per photo", r.camera) &&
                             writeErrorChart(at(w, l.out + "/projector_errors.png"),
                                             "Projector: error per photo", r.projector);
        printSummary(c, r, w, l);
        if (!o.truthPath.empty()) compareWithTruth(o.truthPath, r);
        if (!written) {
            std::cerr << "rigflow: cannot write the YAML files or charts in " << l.out << std::endl;
            return kRigflowStepFailed;
        }
    } catch (const InputError& e) {
        std::cerr << "rigflow: " << e.message << std::endl;
        return kRigflowInputError;
    } catch (const StepFailed&) {
        return kRigflowStepFailed;
    } catch (const std::exception& e) {
        std::cerr << "rigflow: " << e.what() << std::endl;
        return kRigflowStepFailed;
    }
    return kRigflowOk;
}
