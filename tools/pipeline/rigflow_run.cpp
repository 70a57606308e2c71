#include "rigflow_run.h"

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "calibration_export.h"
#include "camera_param.h"
#include "model_choice.h"
#include "name_pattern.h"
#include "point_files.h"
#include "rigflow_config.h"
#include "rigflow_report.h"
#include "run_step.h"

namespace fs = std::filesystem;

namespace {
struct InputError {
    std::string message;
};
struct StepFailed {};

constexpr int kNoDistortionFlags =
    cv::CALIB_ZERO_TANGENT_DIST | cv::CALIB_FIX_K1 | cv::CALIB_FIX_K2 | cv::CALIB_FIX_K3;
constexpr int kPinholeIterations = 30;  // lumenrig's own calibrations
constexpr double kCameraAgreementRelative = 0.2, kCameraAgreementPx = 0.05;

// What runs: detection or given correspondences, with or without a projector.
struct Plan {
    bool detectCamera = true, detectProjector = true, projector = true;
    cv::Size cameraSize, projectorSize;
};

Layout layoutOf(const RigflowConfig& c) {
    const std::string o = c.output;
    return {o,
            c.camera_points.empty() ? o + "/points_cam" : c.camera_points,
            c.projector_points.empty() ? o + "/points_proj" : c.projector_points,
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

std::string at(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

cv::Size photoSize(const std::string& workDir, const std::string& name, const std::string& what) {
    const cv::Mat image = cv::imread(at(workDir, name));
    if (image.empty()) throw InputError{"cannot read the " + what + " " + name};
    return image.size();
}

void checkPointFolder(const std::string& workDir, const std::string& folder,
                      const std::string& trueNum, const std::string& key) {
    if (!fs::is_directory(fs::path(workDir) / folder))
        throw InputError{key + ": no folder " + folder + " in " + workDir};
    if (!exists(workDir, folder + "/" + trueNum))
        throw InputError{key + ": " + folder + " holds no " + trueNum +
                         " (the folder tagharvest writes its point files to)"};
}

// Checks everything the programs will need; fills in the series length and the sizes.
Plan checkInputs(const std::string& workDir, RigflowConfig* c) {
    Plan p;
    p.detectCamera = c->camera_points.empty();
    p.projector = !c->projector_points.empty() || !c->projector_images.empty();
    p.detectProjector = c->projector_points.empty() && !c->projector_images.empty();
    for (const auto& [pattern, key] : {std::pair{c->camera_images, "camera_images"},
                                       std::pair{c->projector_images, "projector_images"}})
        if (!pattern.empty() && countIntegerConversions(pattern) != 1)
            throw InputError{std::string(key) +
                             " must hold one integer conversion such as %03d: " + pattern};
    if (!p.detectCamera)
        checkPointFolder(workDir, c->camera_points, "cam_true_num.txt", "camera_points");
    if (!c->projector_points.empty())
        checkPointFolder(workDir, c->projector_points, "proj_true_num.txt", "projector_points");

    if (p.detectCamera || p.detectProjector) {
        if (!exists(workDir, c->projection_image))
            throw InputError{"the projected pattern image " + c->projection_image +
                             " is missing (tagforge projection writes one; projection_image "
                             "names it)"};
        for (int i = 0; i < c->number_of_pattern; ++i) {
            const std::string name = cv::format("data/pat.%02d", i);
            if (!exists(workDir, name))
                throw InputError{
                    "pattern file " + name + " is missing: the folder data needs pat.00 to pat." +
                    std::to_string(c->number_of_pattern - 1) + " (tagforge patterns --out data)"};
        }
        const std::string& lead = p.detectCamera ? c->camera_images : c->projector_images;
        const std::string what = p.detectCamera ? "camera" : "projector";
        if (c->image_num == 0)
            while (exists(workDir, expandPattern(lead, c->first_num + c->image_num)))
                ++c->image_num;
        if (c->image_num == 0)
            throw InputError{"no " + what + " photo " + expandPattern(lead, c->first_num) + " (" +
                             (p.detectCamera ? "camera_images" : "projector_images") +
                             ", first_num)"};
        for (int n = c->first_num; n < c->first_num + c->image_num; ++n)
            for (const std::string& pattern :
                 {p.detectCamera ? c->camera_images : std::string(),
                  p.detectProjector ? c->projector_images : std::string()})
                if (!pattern.empty() && !exists(workDir, expandPattern(pattern, n)))
                    throw InputError{"missing photo " + expandPattern(pattern, n)};
        if (p.detectCamera && p.detectProjector &&
            exists(workDir, expandPattern(c->projector_images, c->first_num + c->image_num)))
            throw InputError{"the two series differ in length: " + std::to_string(c->image_num) +
                             " camera photos but " +
                             expandPattern(c->projector_images, c->first_num + c->image_num) +
                             " exists too (set image_num, or give both series the same photos)"};
    }

    // Sizes: given, or from the photos (camera) and the projection image (projector).
    if (p.detectCamera)
        p.cameraSize = photoSize(workDir, expandPattern(c->camera_images, c->first_num), "photo");
    else if (c->camera_width == 0 && !c->camera_images.empty()) {
        const std::vector<int> numbers =
            loadTrueNumbers(at(workDir, c->camera_points + "/cam_true_num.txt"));
        if (!numbers.empty() && exists(workDir, expandPattern(c->camera_images, numbers[0])))
            p.cameraSize = photoSize(workDir, expandPattern(c->camera_images, numbers[0]), "photo");
    }
    if (c->camera_width != 0) {
        const cv::Size given(c->camera_width, c->camera_height);
        if (p.detectCamera && given != p.cameraSize)
            throw InputError{"camera_size is " + std::to_string(given.width) + "x" +
                             std::to_string(given.height) + " but the camera photos are " +
                             std::to_string(p.cameraSize.width) + "x" +
                             std::to_string(p.cameraSize.height)};
        p.cameraSize = given;
    }
    if (p.cameraSize.width == 0)
        throw InputError{
            "camera_size is required with camera_points (e.g. camera_size = "
            "1280x960): there is no camera photo to take it from"};
    if (p.projector) {
        if (c->projector_width != 0)
            p.projectorSize = cv::Size(c->projector_width, c->projector_height);
        else if (exists(workDir, c->projection_image))
            p.projectorSize = photoSize(workDir, c->projection_image, "projected pattern image");
        else
            throw InputError{
                "projector_size is required with projector_points (e.g. "
                "projector_size = 1024x768) when there is no projection image"};
    }
    return p;
}

std::string advice(const std::string& program, int status) {
    if (program == "lensrig" && status == 3)
        return "the camera lens as written does not reproduce its fit: set camera_model = "
               "standard (or auto)";
    if (program == "warpdots" && status == 3)
        return "the camera lens model cannot be inverted at some points: set camera_model = "
               "standard (or auto), or add views that cover the image corners";
    if (program == "lumenrig" && status == 3)
        return "the projector lens as written does not reproduce its fit: set "
               "projector_distortion = 0 (or auto)";
    return "";
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
        const std::string hint = advice(program, r.status);
        if (!hint.empty()) std::cerr << "rigflow: " << hint << "\n";
        throw StepFailed{};
    }
    std::cout << " done" << std::endl;
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

// The camera's correspondences as tagharvest wrote them.
ViewSet cameraViews(const std::string& w, const Layout& l) {
    ViewSet v;
    v.imageNumbers = loadTrueNumbers(at(w, l.pointsCam + "/cam_true_num.txt"));
    for (int n : v.imageNumbers) {
        v.image.push_back(loadPointFile2(at(w, numberedName(l.pointsCam, "/cam2D", n, ".txt"))));
        v.board.push_back(loadPointFile3(at(w, numberedName(l.pointsCam, "/cam3D", n, ".txt"))));
        if (v.image.back().size() != v.board.back().size())
            throw InputError{"camera image " + std::to_string(n) +
                             ": the 2D and 3D point files differ in length"};
    }
    return v;
}

// The projector's correspondences as lumenrig will build them: a pinhole camera fitted to
// the camera points it is given, the projected markers back-projected onto the board.
ViewSet projectorViews(const std::string& w, const Layout& l, const RigflowConfig& c,
                       cv::Size cameraSize) {
    const std::string camPoints = c.undistort ? l.undistorted : l.pointsCam;
    const std::string projPoints = c.undistort ? l.undistorted : l.pointsProj;
    ViewSet cam = cameraViews(w, l);
    for (std::size_t i = 0; i < cam.imageNumbers.size(); ++i)
        cam.image[i] =
            loadPointFile2(at(w, numberedName(camPoints, "/cam2D", cam.imageNumbers[i], ".txt")));
    cv::Mat k, d = cv::Mat::zeros(1, 5, CV_64F);
    std::vector<cv::Mat> rvecs, tvecs;
    cv::calibrateCamera(cam.board, cam.image, cameraSize, k, d, rvecs, tvecs, kNoDistortionFlags,
                        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
                                         kPinholeIterations, DBL_EPSILON));
    std::map<int, std::size_t> view;
    for (std::size_t i = 0; i < cam.imageNumbers.size(); ++i) view[cam.imageNumbers[i]] = i;
    ViewSet v;
    for (int n : loadTrueNumbers(at(w, l.pointsProj + "/proj_true_num.txt"))) {
        const auto it = view.find(n);
        if (it == view.end()) continue;
        const PointList2 onCam =
            loadPointFile2(at(w, numberedName(projPoints, "/proj2D", n, ".txt")));
        cv::Mat rb;
        cv::Rodrigues(rvecs[it->second], rb);
        std::vector<cv::Point3f> board;
        for (const cv::Point3d& p : onBoardPlane(onCam, k, rvecs[it->second], tvecs[it->second])) {
            const cv::Mat x = rb.t() * (cv::Mat(cv::Vec3d(p.x, p.y, p.z)) - tvecs[it->second]);
            board.emplace_back(x.at<double>(0), x.at<double>(1), x.at<double>(2));
        }
        v.imageNumbers.push_back(n);
        v.board.push_back(board);
        v.image.push_back(loadPointFile2(at(w, numberedName(l.pointsProj, "/pattern", n, ".txt"))));
    }
    return v;
}

void printScores(const std::string& device, const ModelChoice& choice) {
    std::cout << "      " << device << " lens models, RMS error fitted / held out:";
    for (const ModelScore& s : choice.scores)
        std::cout << " " << s.model.name << " " << s.fitRms << " / " << s.heldOutRms << " px;";
    std::cout << " chosen: " << choice.chosen << "\n      (" << choice.reason << ")" << std::endl;
}

// Both models fitted and cross-validated; the plain one kept unless the rich one is
// well-conditioned and clearly better on held-out views. Too few views keep the plain one.
ModelChoice chooseBetween(const std::string& device, const ViewSet& views, cv::Size size,
                          const LensCandidate& plain, const LensCandidate& rich) {
    if (static_cast<int>(views.board.size()) < kMinViewsToCrossValidate) {
        ModelChoice choice;
        choice.chosen = plain.name;
        choice.reason = "too few views (" + std::to_string(views.board.size()) +
                        ") to compare models on held-out views";
        return choice;
    }
    ModelChoice choice = chooseModel(scoreModel(views, size, plain), scoreModel(views, size, rich));
    printScores(device, choice);
    return choice;
}

ModelChoice chooseCameraModel(const std::string& w, const Layout& l, const RigflowConfig& c,
                              cv::Size size) {
    return chooseBetween("camera", cameraViews(w, l), size, {"standard", 0, 5, c.camera_iterations},
                         {"rational", cv::CALIB_RATIONAL_MODEL, 8, c.camera_iterations});
}

ModelChoice chooseProjectorModel(const std::string& w, const Layout& l, const RigflowConfig& c,
                                 const Plan& p) {
    return chooseBetween("projector", projectorViews(w, l, c, p.cameraSize), p.projectorSize,
                         {"none", kNoDistortionFlags, 5, kPinholeIterations},
                         {"standard", 0, 5, kPinholeIterations});
}

void recordChoice(const ModelChoice& choice, const std::string& how, DeviceResult* d) {
    d->model = choice.chosen;
    d->modelReason = how + (choice.reason.empty() ? "" : ": " + choice.reason);
    for (const ModelScore& s : choice.scores)
        d->heldOutRms.emplace_back(s.model.name, s.heldOutRms);
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
        const Plan p = checkInputs(w, &c);
        const Layout l = layoutOf(c);
        const bool undistort = p.projector && c.undistort;
        std::vector<std::string> folders = {l.camera, l.reproj, l.logs};
        if (p.detectCamera) folders.push_back(l.pointsCam);
        if (p.detectProjector) folders.push_back(l.pointsProj);
        if (p.detectCamera || p.detectProjector) folders.push_back(l.marked);
        if (undistort) folders.push_back(l.undistorted);
        if (p.projector) folders.push_back(l.projector);
        for (const std::string& d : folders) fs::create_directories(fs::path(w) / d);
        if ((p.detectCamera || p.detectProjector) && !exists(w, "camparam.dat")) {
            // tagharvest reads it once before it writes its own; identity parameters suffice.
            const CameraParam cp = identityCameraParams(p.cameraSize.width, p.cameraSize.height);
            if (saveCameraParams(at(w, "camparam.dat").c_str(), 1, &cp) != 0)
                throw InputError{"cannot write camparam.dat in " + w};
        }
        std::cout << "rigflow: ";
        if (p.detectCamera || p.detectProjector)
            std::cout << c.image_num << " photo pairs from number " << c.first_num << ", ";
        std::cout << "camera " << p.cameraSize.width << " x " << p.cameraSize.height;
        if (p.projector)
            std::cout << ", projector " << p.projectorSize.width << " x " << p.projectorSize.height;
        else
            std::cout << ", no projector";
        if (!p.detectCamera) std::cout << "; camera points from " << l.pointsCam;
        if (p.projector && !p.detectProjector)
            std::cout << "; projector points from " << l.pointsProj;
        std::cout << std::endl;

        const int steps =
            p.detectCamera + p.detectProjector + 1 + (undistort ? 2 : 0) + p.projector;
        int step = 0;
        if (p.detectCamera) {
            runProgram(w, l, ++step, steps, "tagharvest: markers in the camera photos",
                       "tagharvest", harvestArgs(c, false, l), "tagharvest_camera.log");
            requireViews(w, l.pointsCam + "/cam_true_num.txt", "camera");
        }
        if (p.detectProjector) {
            runProgram(w, l, ++step, steps, "tagharvest: projected markers in the projector photos",
                       "tagharvest", harvestArgs(c, true, l), "tagharvest_projector.log");
            requireViews(w, l.pointsProj + "/proj_true_num.txt", "projector");
        }

        Results r;
        ModelChoice cameraChoice;
        if (c.camera_model == "auto") {
            cameraChoice = chooseCameraModel(w, l, c, p.cameraSize);
            recordChoice(cameraChoice, "auto", &r.camera);
        } else {
            cameraChoice.chosen = c.camera_model;
            recordChoice(cameraChoice, "camera_model = " + c.camera_model, &r.camera);
        }
        const bool rational = cameraChoice.chosen == "rational";
        const std::string cameraResults = l.camera + "/lensrig_results.yaml";
        std::vector<std::string> lensrigArgs = {
            "--size",
            std::to_string(p.cameraSize.width) + "x" + std::to_string(p.cameraSize.height),
            "--results", cameraResults};
        for (const std::string& a :
             {c.camera_images.empty() ? std::string("-") : c.camera_images,
              l.pointsCam + "/cam2D%03d.txt", l.pointsCam + "/cam3D%03d.txt",
              l.pointsCam + "/cam_true_num.txt", std::string(rational ? "1" : "2"), l.camera,
              l.reproj, std::to_string(c.camera_iterations)})
            lensrigArgs.push_back(a);
        runProgram(
            w, l, ++step, steps,
            std::string("lensrig: camera calibration (") + cameraChoice.chosen + " lens model)",
            "lensrig", lensrigArgs, "lensrig.log");
        collectCamera(w, l, cameraResults, &r);
        r.camera.model = cameraChoice.chosen;

        const std::string camMat = l.camera + "/Cam_mat.txt", dist = l.camera + "/dist.txt";
        if (undistort) {
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
        if (p.projector) {
            r.projector.size = p.projectorSize;
            int projectorMode = c.projector_distortion;
            if (projectorMode == kAutoDistortion) {
                const ModelChoice choice = chooseProjectorModel(w, l, c, p);
                recordChoice(choice, "auto", &r.projector);
                projectorMode = choice.chosen == "standard" ? 1 : 0;
            } else {
                ModelChoice fixed;
                fixed.chosen = projectorMode == 1 ? "standard" : "none";
                recordChoice(fixed, "projector_distortion = " + std::to_string(projectorMode),
                             &r.projector);
            }
            const std::string camPoints = c.undistort ? l.undistorted : l.pointsCam;
            const std::string projPoints = c.undistort ? l.undistorted : l.pointsProj;
            const std::string projectorResults = l.projector + "/lumenrig_results.yaml";
            runProgram(w, l, ++step, steps, "lumenrig: projector and stereo calibration",
                       "lumenrig",
                       {"--results",
                        projectorResults,
                        l.pointsCam + "/cam_true_num.txt",
                        c.camera_images.empty() ? std::string("-") : c.camera_images,
                        camPoints + "/cam2D%03d.txt",
                        l.pointsCam + "/cam3D%03d.txt",
                        std::to_string(p.cameraSize.width),
                        std::to_string(p.cameraSize.height),
                        l.pointsProj + "/proj_true_num.txt",
                        c.projector_images.empty() ? std::string("-") : c.projector_images,
                        projPoints + "/proj2D%03d.txt",
                        l.pointsProj + "/pattern%03d.txt",
                        std::to_string(p.projectorSize.width),
                        std::to_string(p.projectorSize.height),
                        l.projector + "/R.txt",
                        l.projector + "/T.txt",
                        l.projector + "/F.txt",
                        l.projector + "/K.txt",
                        l.projector + "/D.txt",
                        std::to_string(projectorMode)},
                       "lumenrig.log");
            collectProjector(w, l, c, projectorResults, &r);
            r.stereo.cameraModel = c.undistort
                                       ? "pinhole on the camera points undistorted with the " +
                                             r.camera.model + " lens model"
                                       : "pinhole on the raw camera points";
        }

        bool written = writeDeviceYaml(at(w, l.out + "/camera.yaml"), r.camera) &&
                       writeErrorChart(at(w, l.out + "/camera_errors.png"),
                                       "Camera: error per photo", r.camera);
        if (r.hasProjector)
            written = written && writeDeviceYaml(at(w, l.out + "/projector.yaml"), r.projector) &&
                      writeStereoYaml(at(w, l.out + "/stereo.yaml"), r.stereo) &&
                      writeErrorChart(at(w, l.out + "/projector_errors.png"),
                                      "Projector: error per photo", r.projector);
        printSummary(c, r,
                     (p.detectCamera || p.detectProjector)
                         ? c.image_num
                         : static_cast<int>(r.camera.imageNumbers.size()),
                     at(w, l.out));
        if (r.hasProjector && c.undistort) {
            // lumenrig refits the camera as a pinhole on the undistorted points: on a lens the
            // camera model describes well, its error matches lensrig's.
            const double a = r.camera.rms, b = r.pinholeCameraRms;
            if (std::abs(a - b) > kCameraAgreementRelative * std::min(a, b) + kCameraAgreementPx)
                std::cerr << "rigflow: warning: the camera's RMS error is " << a << " px with its "
                          << r.camera.model << " lens but " << b
                          << " px as a pinhole on the undistorted points (lumenrig): the camera "
                             "lens model is the suspect (try camera_model = standard or "
                             "rational)"
                          << std::endl;
        }
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
