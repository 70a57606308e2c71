#include "rigflow_run.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iomanip>
#include <iostream>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "board_plane.h"
#include "calibration_export.h"
#include "calibration_tree.h"
#include "camera_param_file.h"
#include "gl_projection.h"
#include "html_report.h"
#include "joint_refine.h"
#include "model_choice.h"
#include "mrcal_export.h"
#include "name_pattern.h"
#include "output_folder.h"
#include "pattern_file.h"
#include "photo_series.h"
#include "point_files.h"
#include "point_folder_checks.h"
#include "rigflow_config.h"
#include "rigflow_report.h"
#include "ros_export.h"
#include "run_step.h"
#include "sanity_checks.h"
#include "svg_plot.h"
#include "view_checks.h"

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
const char* const kFailedName = "FAILED.txt";
constexpr double kMaxUncovered = 0.3;   // share of the image without corners
constexpr int kMinProjectionSide = 32;  // pixels: smaller holds no identifiable marker

// What runs: detection or given correspondences, with or without a projector.
struct Plan {
    bool detectCamera = true, detectProjector = true, projector = true;
    cv::Size cameraSize, projectorSize;
    PhotoSeries series;    // when markers are detected in photos
    std::string sizeFrom;  // the photo the camera size was taken from, with given points
};

// A step's result failed its checks: the results so far are kept and marked.
struct ChecksFailed {};

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

// The folder the used photos are linked into for the detector.
std::string seriesFolder(const Layout& l) {
    return l.out + "/series";
}

// A program argument that is a printf pattern: folder's own '%' literal, then the pattern.
std::string patternArg(const std::string& folder, const std::string& file) {
    return escapePercent(folder) + file;
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

// The programs take file names of at most 255 characters (lumenrig, warpdots): a folder
// leaves room for the longest name rigflow adds to it.
constexpr std::size_t kMaxFolderText = 200;

void checkFolderText(const std::string& folder, const std::string& key) {
    if (escapePercent(folder).size() > kMaxFolderText)
        throw InputError{key + " = " + folder.substr(0, 40) + "… is " +
                         std::to_string(folder.size()) + " characters long; the programs take " +
                         "file names of at most 255: name a folder of at most " +
                         std::to_string(kMaxFolderText) + " characters"};
}

void checkPointFolder(const std::string& workDir, const std::string& folder,
                      const std::string& trueNum, const std::string& key) {
    checkFolderText(folder, key);
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
        const cv::Size cast = photoSize(workDir, c->projection_image, "projected pattern image");
        if (cast.width < kMinProjectionSide || cast.height < kMinProjectionSide)
            throw InputError{"projection_image = " + c->projection_image + " is " +
                             std::to_string(cast.width) + "x" + std::to_string(cast.height) +
                             ": too small to hold a marker tagharvest could identify; name the "
                             "image the projector casts (tagforge projection writes one)"};
        for (int i = 0; i < c->number_of_pattern; ++i) {
            const std::string name = patternFileName("data", i);
            if (!exists(workDir, name))
                throw InputError{
                    "pattern file " + name + " is missing: the folder data needs pat.00 to pat." +
                    std::to_string(c->number_of_pattern - 1) + " (tagforge patterns --out data)"};
        }
        SeriesRequest q;
        q.camera = p.detectCamera ? c->camera_images : c->projector_images;
        if (p.detectCamera && p.detectProjector) q.projector = c->projector_images;
        q.firstNum = c->first_num;
        q.imageNum = c->image_num;
        q.exclude = c->exclude;
        try {
            p.series = scanPhotoSeries(workDir, q);
        } catch (const std::runtime_error& e) {
            throw InputError{e.what()};
        }
    }

    // Sizes: given, or from the photos (camera) and the projection image (projector).
    if (p.detectCamera)
        p.cameraSize = p.series.size;
    else if (c->camera_width == 0 && !c->camera_images.empty()) {
        const std::vector<int> numbers =
            loadTrueNumbers(at(workDir, c->camera_points + "/cam_true_num.txt"));
        if (!numbers.empty() && exists(workDir, expandPattern(c->camera_images, numbers[0]))) {
            p.cameraSize = photoSize(workDir, expandPattern(c->camera_images, numbers[0]), "photo");
            p.sizeFrom = "from photo " + std::to_string(numbers[0]) + " (" +
                         expandPattern(c->camera_images, numbers[0]) + ")";
        }
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
    for (const auto& [folder, key] : {std::pair{c->camera_points, "camera_points"},
                                      std::pair{c->projector_points, "projector_points"}}) {
        const std::string problem =
            folder.empty() ? "" : givenViewsProblem(workDir, folder, key, key[0] == 'p');
        if (!problem.empty()) throw InputError{problem};
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

constexpr std::size_t kMaxNamedDrops = 8;
constexpr std::size_t kMaxListedDrops = 30;  // console lines of views not used

struct ProgramStep {
    std::string title, program;
    std::vector<std::string> args;
    std::string logName;
};

// Reports a finished step; a failed one ends the run with its last lines and advice.
void reportStep(const std::string& log, const ProgramStep& step, const StepResult& r) {
    if (r.status == 0) {
        std::cout << " done" << std::endl;
        return;
    }
    std::cout << " failed (exit status " << r.status << ")" << std::endl;
    std::cerr << "rigflow: " << step.program << " failed; its whole output is in " << log
              << "; its last lines:\n";
    std::istringstream lines(r.output);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    for (std::size_t i = all.size() > 15 ? all.size() - 15 : 0; i < all.size(); ++i)
        std::cerr << "  " << all[i] << "\n";
    const std::string hint = advice(step.program, r.status);
    if (!hint.empty())
        std::cerr << "rigflow: " << hint << "\n";
    else
        std::cerr << "rigflow: the lines above are " << step.program
                  << "'s own and name what it could not do; fix that and run rigflow again\n";
    throw StepFailed{};
}

std::string logPath(const std::string& workDir, const Layout& l, const ProgramStep& step) {
    return (fs::path(workDir) / l.logs / step.logName).string();
}

StepResult start(const std::string& workDir, const Layout& l, const ProgramStep& step) {
    return runStep((fs::path(ownFolder()) / step.program).string(), step.args, workDir,
                   logPath(workDir, l, step));
}

void runProgram(const std::string& workDir, const Layout& l, int index, int count,
                const ProgramStep& step) {
    std::cout << "[" << index << "/" << count << "] " << step.title << " ..." << std::flush;
    reportStep(logPath(workDir, l, step), step, start(workDir, l, step));
}

void runProgram(const std::string& workDir, const Layout& l, int index, int count,
                const std::string& title, const std::string& program,
                const std::vector<std::string>& args, const std::string& logName) {
    runProgram(workDir, l, index, count, ProgramStep{title, program, args, logName});
}

// Two independent steps at the same time (index and index + 1), reported in order.
void runTogether(const std::string& workDir, const Layout& l, int index, int count,
                 const ProgramStep& first, const ProgramStep& second) {
    std::cout << "[" << index << "/" << count << "] and [" << index + 1 << "/" << count
              << "] run at the same time" << std::endl;
    std::future<StepResult> other =
        std::async(std::launch::async, [&] { return start(workDir, l, second); });
    const StepResult r1 = start(workDir, l, first);
    const StepResult r2 = other.get();
    std::cout << "[" << index << "/" << count << "] " << first.title << " ...";
    reportStep(logPath(workDir, l, first), first, r1);
    std::cout << "[" << index + 1 << "/" << count << "] " << second.title << " ...";
    reportStep(logPath(workDir, l, second), second, r2);
}

// The photos detection which (0, 1) of detections running at the same time works on at
// once: the configured jobs (0: every core) shared between them, the first taking the odd one.
int detectionJobs(const RigflowConfig& c, int detections, int which) {
    const int all =
        c.jobs > 0 ? c.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    if (detections < 2) return all;
    return std::max(1, which == 0 ? (all + 1) / 2 : all / 2);
}

// jobs: the photos this detection works on at the same time.
std::vector<std::string> harvestArgs(const RigflowConfig& c, bool projector, const Layout& l,
                                     const std::string& images, const std::vector<int>& used,
                                     int jobs) {
    auto num = [](double v) {
        std::ostringstream s;
        s << std::setprecision(15) << v;
        return s.str();
    };
    std::vector<std::string> args = {"--jobs", std::to_string(jobs)};
    if (c.subpixel) args.push_back("--subpixel");
    const std::vector<std::string> positional = {
        c.projection_image,
        images,
        std::to_string(used.front()),
        std::to_string(used.back() - used.front() + 1),
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
        patternArg(l.marked, projector ? "/proj%03d.png" : "/cam%03d.png")};
    args.insert(args.end(), positional.begin(), positional.end());
    return args;
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
        v.imageNumbers.push_back(n);
        v.board.push_back(boardPointsSeen(onCam, k, rvecs[it->second], tvecs[it->second]));
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
    for (const ModelScore& s : choice.scores) {
        d->heldOutRms.emplace_back(s.model.name, s.heldOutRms);
        if (s.model.name != choice.chosen) continue;
        d->dataRadius = s.condition.dataRadius;
        d->validRadius = s.condition.validRadius;
        d->wholeImage = s.condition.wholeImage;
        d->validityLimit = s.condition.limit;
    }
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

namespace {
// One run: its inputs, where its files go, and what it has found so far.
struct Run {
    std::string w;
    RigflowConfig c;
    Plan p;
    Layout l;
    int step = 0, steps = 0;
    Results r;
    std::vector<Finding> findings;
    std::vector<DroppedView> detectorDropped;  // views the detector found too few markers in
    JointRefinement joint;                     // refine = joint: the last step's solve
    bool folderReady = false;                  // the output folder is cleared and listed
    std::set<std::string> foreign;             // its entries rigflow did not write
};

// The entries a run may write directly in OUTPUT.
const std::vector<std::string>& resultNames() {
    static const std::vector<std::string> names = {"marked",
                                                   "camera",
                                                   "reproj",
                                                   "undistorted",
                                                   "projector",
                                                   "logs",
                                                   "series",
                                                   "points_cam",
                                                   "points_proj",
                                                   "camera.yaml",
                                                   "projector.yaml",
                                                   "stereo.yaml",
                                                   "camera_errors.png",
                                                   "projector_errors.png",
                                                   "calibration.json",
                                                   "calibration.yaml",
                                                   "camera.cameramodel",
                                                   "projector.cameramodel",
                                                   "camera_info_camera.yaml",
                                                   "camera_info_projector.yaml",
                                                   "report.html",
                                                   kFailedName};
    return names;
}

// The inputs the output folder must not hold, with their keys.
std::vector<std::pair<std::string, std::string>> configuredInputs(const RigflowConfig& c) {
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const auto& [images, key] : {std::pair{c.camera_images, "camera_images"},
                                      std::pair{c.projector_images, "projector_images"}})
        if (!images.empty() && countIntegerConversions(images) == 1)
            inputs.emplace_back(key, expandPattern(fs::path(images).parent_path().string(), 0));
    inputs.emplace_back("camera_points", c.camera_points);
    inputs.emplace_back("projector_points", c.projector_points);
    inputs.emplace_back("projection_image", c.projection_image);
    inputs.emplace_back("the pattern files", "data");
    return inputs;
}

// Views the detector kept whose points cannot constrain a calibration: named and left out.
void screenDetected(Run* run, bool projector) {
    const std::vector<DroppedView> unusable =
        leaveOutUnusableViews(run->w, projector ? run->l.pointsProj : run->l.pointsCam, projector);
    if (unusable.empty()) return;
    std::cout << "      " << (projector ? "projector" : "camera") << " views left out:\n";
    for (const DroppedView& d : unusable)
        std::cout << "        view " << d.number << ": " << d.reason << "\n";
    run->detectorDropped.insert(run->detectorDropped.end(), unusable.begin(), unusable.end());
}

// No view left after the detector: a failed check naming what makes photos unusable.
std::vector<int> detectedViews(Run* run, bool projector, const std::vector<int>& tried);

// Every projector view tagharvest listed has an empty pattern point file.
bool noPatternPoints(const Run& run, const std::vector<int>& tried) {
    bool any = false;
    for (int n : tried) {
        const std::string name = at(run.w, numberedName(run.l.pointsProj, "/pattern", n, ".txt"));
        if (!fs::exists(name)) continue;
        try {
            if (!loadPointFile2(name).empty()) return false;
        } catch (const std::exception&) {
            return false;
        }
        any = true;
    }
    return any;
}

void requireViews(Run* run, bool projector, const std::vector<int>& tried) {
    const std::string trueNum = projector ? run->l.pointsProj + "/proj_true_num.txt"
                                          : run->l.pointsCam + "/cam_true_num.txt";
    if (!loadTrueNumbers(at(run->w, trueNum)).empty()) return;
    detectedViews(run, projector, tried);  // names each view and why
    const std::string what = projector ? "projector" : "camera";
    std::string causes =
        "pattern files of another set (data/pat.NN must be the set the board was printed "
        "from: tagforge patterns with the same --seed), the board measured wrong (mark_size, "
        "mark_space_x, mark_space_y), thresholds that turn the photos into one colour "
        "(thresh_first, thresh_interval), or minimum_number above what a photo shows";
    if (projector && noPatternPoints(*run, tried)) {
        run->findings.push_back(
            {true,
             "no marker of the pattern files data/pat.NN could be identified in the "
             "projection image " +
                 run->c.projection_image + ": every projector view's " + run->l.pointsProj +
                 "/pattern%03d.txt is empty",
             "pattern files of another set than the board and the projection image: make "
             "them with the board's seed (tagforge patterns --out data --seed S); or name "
             "the image the projector cast (projection_image)"});
        throw ChecksFailed{};
    }
    if (projector)
        causes = "a projection image that is not the one the projector cast (projection_image = " +
                 run->c.projection_image + "; tagforge projection writes one), " + causes;
    run->findings.push_back({true,
                             "no usable " + what + " photo: none had more than minimum_number (" +
                                 std::to_string(run->c.minimum_number) +
                                 ") identified markers with usable points (see " + trueNum +
                                 ", the views named above and the reports under info/)",
                             causes});
    throw ChecksFailed{};
}

void printSeries(const Plan& p) {
    for (const std::string& note : p.series.notes) std::cout << "note: " << note << "\n";
    if (p.series.dropped.empty()) return;
    std::cout << "views not used:\n";
    const std::size_t shown = std::min(p.series.dropped.size(), kMaxListedDrops);
    for (std::size_t i = 0; i < shown; ++i)
        std::cout << "  " << viewLabel(p.series.dropped[i]) << ": " << p.series.dropped[i].reason
                  << "\n";
    if (shown < p.series.dropped.size())
        std::cout << "  … and " << p.series.dropped.size() - shown
                  << " more (report.html lists them)\n";
}

int countMarkers(const std::string& pointFile) {
    return static_cast<int>(loadPointFile2(pointFile).size() / 4);
}

// The views the detector kept; the others named with the reason.
std::vector<int> detectedViews(Run* run, bool projector, const std::vector<int>& tried) {
    const std::string trueNum = projector ? run->l.pointsProj + "/proj_true_num.txt"
                                          : run->l.pointsCam + "/cam_true_num.txt";
    const std::vector<int> kept = loadTrueNumbers(at(run->w, trueNum));
    bool first = true;
    std::set<int> leftOut;
    for (const DroppedView& d : run->detectorDropped) leftOut.insert(d.number);
    for (int n : tried)
        if (std::find(kept.begin(), kept.end(), n) == kept.end() && !leftOut.count(n)) {
            if (first)
                std::cout << "      " << (projector ? "projector" : "camera")
                          << " views not used:\n";
            first = false;
            const std::string reason =
                std::to_string(run->c.minimum_number) + " markers or fewer identified in the " +
                (projector ? "projector" : "camera") +
                " photo (minimum_number; its marked image is in " + run->l.marked + ")";
            std::cout << "        view " << n << ": " << reason << "\n";
            run->detectorDropped.push_back({n, reason});
        }
    return kept;
}

void checkDetected(Run* run, bool projector, const std::vector<int>& tried) {
    const std::vector<int> kept = detectedViews(run, projector, tried);
    std::vector<int> markers;
    for (int n : kept)
        markers.push_back(countMarkers(
            at(run->w, projector ? numberedName(run->l.pointsProj, "/proj2D", n, ".txt")
                                 : numberedName(run->l.pointsCam, "/cam2D", n, ".txt"))));
    checkDetection(projector ? "projector" : "camera", static_cast<int>(kept.size()),
                   static_cast<int>(tried.size()), identifiedFraction(markers), run->c,
                   &run->findings);
}

// A failing camera calibration whose "projector" photos calibrate well as camera photos:
// the two series were given the wrong way round.
void diagnoseSwappedSeries(Run* run) {
    if (!run->p.detectCamera || !run->p.detectProjector) return;
    std::cout << "      checking whether the two series are swapped ..." << std::flush;
    // tagharvest writes info/, test/ and camparam.dat where it runs: the trial runs in a
    // scratch folder in OUTPUT, the camera run's files in WORKDIR stay as they are.
    const fs::path w = fs::absolute(run->w);
    const fs::path scratch = w / run->l.logs / "swap_check";
    std::error_code ec;
    fs::create_directories(scratch / "marked", ec);
    fs::create_directory_symlink(w / "data", scratch / "data", ec);
    fs::copy_file(w / "camparam.dat", scratch / "camparam.dat",
                  fs::copy_options::overwrite_existing, ec);
    Layout probe = run->l;
    probe.pointsCam = (scratch / "points").string();
    probe.marked = (scratch / "marked").string();
    RigflowConfig c = run->c;
    c.projection_image = (w / c.projection_image).string();
    const std::string ext = fs::path(expandPattern(c.projector_images, run->p.series.used.front()))
                                .extension()
                                .string();
    const std::string images =
        patternArg((w / seriesFolder(run->l)).string(), "/projector%03d" + escapePercent(ext));
    const StepResult s = runStep(
        (fs::path(ownFolder()) / "tagharvest").string(),
        harvestArgs(c, false, probe, images, run->p.series.used, detectionJobs(run->c, 1, 0)),
        scratch.string(), (scratch / "tagharvest.log").string());
    std::cout << " done" << std::endl;
    if (s.status != 0 || !exists(run->w, probe.pointsCam + "/cam_true_num.txt")) return;
    ViewSet v;
    try {
        v = cameraViews(run->w, probe);
    } catch (...) {
        return;  // a trial that cannot be read diagnoses nothing
    }
    if (static_cast<int>(v.board.size()) < 3) return;
    cv::Mat k, d;
    std::vector<cv::Mat> rvecs, tvecs;
    double rms = 0;
    try {
        rms = cv::calibrateCamera(v.board, v.image, run->p.cameraSize, k, d, rvecs, tvecs, 0);
    } catch (const cv::Exception&) {
        return;
    }
    DeviceResult trial;
    trial.size = run->p.cameraSize;
    trial.cameraMatrix = k;
    trial.rms = rms;
    std::vector<Finding> trialFindings;
    checkCalibration("trial", trial, false, run->c, &trialFindings);
    if (anyFailed(trialFindings)) return;
    std::ostringstream figure;
    figure << "the projector photos calibrate as camera photos (RMS " << rms << " px)";
    run->findings.insert(run->findings.begin(),
                         {true, "the camera and projector series look swapped: " + figure.str(),
                          "exchange camera_images and projector_images in the configuration"});
}

void writeFailedNote(const Run& run) {
    std::ofstream out(at(run.w, run.l.out + "/" + kFailedName));
    out << "This calibration failed its checks; do not use the results in this folder.\n"
        << describeFindings(run.findings);
    out.close();
    if (out.fail())
        std::cerr << "rigflow: cannot write " << run.l.out << "/" << kFailedName << std::endl;
}

std::string failedChecks(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings)
        if (f.failed) text += (text.empty() ? "FAILED: " : "; ") + f.what;
    return text.empty() ? "passed" : text;
}

// Prints the findings; with a failed one, marks the results and returns true.
bool reportFindings(const Run& run) {
    if (run.findings.empty()) return false;
    std::cout << "\n== Checks\n" << describeFindings(run.findings) << std::flush;
    if (!anyFailed(run.findings)) return false;
    writeFailedNote(run);
    std::cerr << "rigflow: the calibration failed its checks (see == Checks); the results in "
              << run.l.out << " are marked as failed (" << kFailedName << ")" << std::endl;
    return true;
}

// The corners should reach most of the image: elsewhere the lens model is extrapolated.
void checkCoverage(Run* run) {
    const Results& r = run->r;
    std::vector<const DeviceResult*> devices = {&r.camera};
    if (r.hasProjector && r.projector.model != "none") devices.push_back(&r.projector);
    for (const DeviceResult* d : devices) {
        const double share = uncoveredShare(d->size, d->corners, kCoverageColumns, kCoverageRows);
        if (share > kMaxUncovered)
            run->findings.push_back(
                {false,
                 std::string(d == &r.camera ? "camera" : "projector") + ": " +
                     std::to_string(static_cast<int>(std::lround(100 * share))) +
                     " % of the image holds no corner (its lens distortion is extrapolated "
                     "there; see the coverage in report.html)",
                 "add views with the board near the corners and edges of the image"});
        checkRegions(d == &r.camera ? "camera" : "projector", d->size, d->corners, &run->findings);
    }
}

bool writeReport(const Run& run) {
    ReportPage page;
    page.results = &run.r;
    page.findings = run.findings;
    page.dropped = run.p.series.dropped;
    page.dropped.insert(page.dropped.end(), run.detectorDropped.begin(), run.detectorDropped.end());
    page.viewsTried = viewsTried(run.p.series);
    if (!run.p.detectCamera && !run.p.detectProjector)
        page.viewsTried = static_cast<int>(run.r.camera.imageNumbers.size());
    page.reportFolder = at(run.w, run.l.out);
    if (run.joint.done) page.joint = &run.joint;
    const std::string marked = fs::path(run.l.marked).filename().string();
    for (int n : run.r.camera.imageNumbers)
        if (run.p.detectCamera)
            page.cameraMarked.emplace_back(n, marked + "/" + expandPattern("cam%03d.png", n));
    for (int n : run.r.projector.imageNumbers)
        if (run.p.detectProjector)
            page.projectorMarked.emplace_back(n, marked + "/" + expandPattern("proj%03d.png", n));
    return writeHtmlReport(at(run.w, run.l.out + "/report.html"), page);
}

bool writeResults(Run* run) {
    const Layout& l = run->l;
    Results& r = run->r;
    r.camera.checks = r.projector.checks = r.stereo.checks = failedChecks(run->findings);
    r.camera.glProjection =
        glProjection(r.camera.cameraMatrix, r.camera.size, run->c.gl_near, run->c.gl_far);
    if (r.hasProjector)
        r.projector.glProjection =
            glProjection(r.projector.cameraMatrix, r.projector.size, run->c.gl_near, run->c.gl_far);
    bool written =
        writeDeviceYaml(at(run->w, l.out + "/camera.yaml"), r.camera) &&
        writeErrorChart(at(run->w, l.out + "/camera_errors.png"), "Camera: RMS error per view",
                        r.camera.imageNumbers, r.camera.perViewRms, r.camera.rms);
    if (r.hasProjector)
        written = written && writeDeviceYaml(at(run->w, l.out + "/projector.yaml"), r.projector) &&
                  writeStereoYaml(at(run->w, l.out + "/stereo.yaml"), r.stereo) &&
                  writeErrorChart(at(run->w, l.out + "/projector_errors.png"),
                                  "Projector: RMS error per view", r.projector.imageNumbers,
                                  r.projector.perViewRms, r.projector.rms);
    written = written && writeCalibrationTree(at(run->w, l.out),
                                              calibrationTree(r, run->c.gl_near, run->c.gl_far));
    written = written && writeMrcalModels(at(run->w, l.out), r) &&
              writeRosCameraInfo(at(run->w, l.out), r);
    written = written && writeReport(*run);
    if (!written)
        std::cerr << "rigflow: cannot write the results files in " << l.out
                  << " whole (check its free space and permissions)" << std::endl;
    return written;
}

void prepareFolders(Run* run) {
    const Layout& l = run->l;
    const Plan& p = run->p;
    // Each run writes its results afresh, and removes only what an earlier run listed.
    const std::string out = at(run->w, l.out);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) throw InputError{"output: cannot create the folder " + l.out + ": " + ec.message()};
    const std::string refused = clearEarlierResults(out, resultNames(), &run->foreign);
    if (!refused.empty()) throw InputError{refused};
    run->folderReady = true;
    std::vector<std::string> folders = {l.camera, l.reproj, l.logs};
    if (p.detectCamera) folders.push_back(l.pointsCam);
    if (p.detectProjector) folders.push_back(l.pointsProj);
    if (p.detectCamera || p.detectProjector) folders.push_back(l.marked);
    if (p.projector && run->c.undistort) folders.push_back(l.undistorted);
    if (p.projector) folders.push_back(l.projector);
    for (const std::string& d : folders) fs::create_directories(fs::path(run->w) / d);
    if ((p.detectCamera || p.detectProjector) && !exists(run->w, "camparam.dat")) {
        // tagharvest reads it once before it writes its own; identity parameters suffice.
        const CameraParam cp = identityCameraParams(p.cameraSize.width, p.cameraSize.height);
        if (saveCameraParams(at(run->w, "camparam.dat").c_str(), 1, &cp) != 0)
            throw InputError{"cannot write camparam.dat in " + run->w};
    }
    if (!writeManifest(out, run->foreign))
        throw InputError{"output: cannot write " + l.out + "/" + kManifestName};
}

void printHeader(const Run& run) {
    const Plan& p = run.p;
    std::cout << "rigflow: ";
    if (p.detectCamera || p.detectProjector)
        std::cout << p.series.used.size() << " of " << viewsTried(p.series) << " views used, ";
    std::cout << "camera " << p.cameraSize.width << " x " << p.cameraSize.height;
    if (p.projector)
        std::cout << ", projector " << p.projectorSize.width << " x " << p.projectorSize.height;
    else
        std::cout << ", no projector";
    if (!p.detectCamera) std::cout << "; camera points from " << run.l.pointsCam;
    if (!p.sizeFrom.empty()) std::cout << "; camera size " << p.sizeFrom;
    if (p.projector && !p.detectProjector)
        std::cout << "; projector points from " << run.l.pointsProj;
    std::cout << std::endl;
    const std::string foreign = foreignNote(run.l.out, run.foreign);
    if (!foreign.empty()) std::cout << "note: " << foreign << "\n";
    printSeries(p);
}

// The markers the detector dropped as untrustworthy, from its logs: a warning naming them.
void noteDroppedMarkers(Run* run, const std::vector<std::pair<std::string, std::string>>& logs) {
    int wrongPlace = 0, broken = 0;
    std::vector<std::string> named;
    std::set<std::string> seen;  // a marker the adaptive pass finds again is dropped again
    for (const auto& [series, logName] : logs) {
        std::ifstream in(fs::path(run->w) / run->l.logs / logName);
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find(" dropped: ");
            int image = 0, id = 0;
            if (line.rfind("image ", 0) != 0 || at == std::string::npos ||
                std::sscanf(line.c_str(), "image %d: marker id %d", &image, &id) != 2)
                continue;
            const std::string marker =
                series + " " + std::to_string(image) + " id " + std::to_string(id);
            if (!seen.insert(marker).second) continue;
            (line.find("edges are not straight", at) != std::string::npos ? broken : wrongPlace)++;
            if (named.size() < kMaxNamedDrops) named.push_back(marker);
        }
    }
    if (wrongPlace + broken == 0) return;
    std::ostringstream what;
    what << "the detector dropped " << wrongPlace + broken << " marker(s) it could not trust ("
         << wrongPlace << " off their place on the board, " << broken << " with broken edges): ";
    for (std::size_t i = 0; i < named.size(); ++i) what << (i ? ", " : "") << named[i];
    if (static_cast<int>(named.size()) < wrongPlace + broken) what << ", …";
    run->findings.push_back(
        {false, what.str(),
         "each is named with its reason in " + run->l.logs +
             "/tagharvest_*.log; hands, stray printouts or reflections over the board cause them: "
             "harmless when few, else retake those photos"});
}

// The detection of one series, its used photos staged for it; jobs as harvestArgs.
ProgramStep harvestStep(Run* run, bool projector, int jobs) {
    const std::string series = projector ? "projector" : "camera";
    const std::string images =
        stageSeries(run->w, projector ? run->c.projector_images : run->c.camera_images,
                    run->p.series.used, seriesFolder(run->l), series);
    return {projector ? "tagharvest: projected markers in the projector photos"
                      : "tagharvest: markers in the camera photos",
            "tagharvest", harvestArgs(run->c, projector, run->l, images, run->p.series.used, jobs),
            "tagharvest_" + series + ".log"};
}

// tagharvest in projector mode stops when the projection image shows no marker of the
// pattern files: the operator's mistake (another set, another image) is a failed check.
void refuseUnmatchedPatterns(Run* run, const std::string& logName) {
    std::ifstream in(fs::path(run->w) / run->l.logs / logName);
    for (std::string line; std::getline(in, line);)
        if (line.find("no marker of the pattern could be identified") != std::string::npos) {
            run->findings.push_back(
                {true,
                 "no marker of the pattern files data/pat.NN could be identified in the "
                 "projection image " +
                     run->c.projection_image + " (" + run->l.logs + "/" + logName + ")",
                 "pattern files of another set than the board and the projection image: make "
                 "them with the board's seed (tagforge patterns --out data --seed S); or name "
                 "the image the projector cast (projection_image)"});
            throw ChecksFailed{};
        }
}

void detect(Run* run) {
    const Plan& p = run->p;
    ProgramStep camera, projector;
    const int detections = (p.detectCamera ? 1 : 0) + (p.detectProjector ? 1 : 0);
    if (p.detectCamera) camera = harvestStep(run, false, detectionJobs(run->c, detections, 0));
    if (p.detectProjector)
        projector = harvestStep(run, true, detectionJobs(run->c, detections, detections - 1));
    try {
        if (p.detectCamera && p.detectProjector) {
            run->step += 2;
            runTogether(run->w, run->l, run->step - 1, run->steps, camera, projector);
        } else if (p.detectCamera) {
            runProgram(run->w, run->l, ++run->step, run->steps, camera);
        } else if (p.detectProjector) {
            runProgram(run->w, run->l, ++run->step, run->steps, projector);
        }
    } catch (const StepFailed&) {
        if (p.detectProjector) refuseUnmatchedPatterns(run, projector.logName);
        throw;
    }
    if (p.detectCamera) {
        screenDetected(run, false);
        requireViews(run, false, p.series.used);
        checkDetected(run, false, p.series.used);
    }
    if (p.detectProjector) {
        screenDetected(run, true);
        const std::vector<int> cameraViews =
            p.detectCamera ? loadTrueNumbers(at(run->w, run->l.pointsCam + "/cam_true_num.txt"))
                           : p.series.used;
        requireViews(run, true, cameraViews);
        detectedViews(run, true, cameraViews);
    }
    std::vector<std::pair<std::string, std::string>> logs;
    if (p.detectCamera) logs.emplace_back("camera photo", camera.logName);
    if (p.detectProjector) logs.emplace_back("projector photo", projector.logName);
    noteDroppedMarkers(run, logs);
    if (anyFailed(run->findings)) throw ChecksFailed{};
}

// Fewer views than a calibration needs (lensrig and lumenrig refuse them): the run fails
// its checks before the program, naming the count as min_views would.
void requireCalibrationViews(Run* run, const std::string& device, int views, int tried) {
    if (views >= kMinViews) return;
    checkDetection(device, views, tried, 1.0, run->c, &run->findings);
    if (!anyFailed(run->findings))
        run->findings.push_back({true,
                                 device + " views: " + std::to_string(views) +
                                     " usable; a calibration needs at least " +
                                     std::to_string(kMinViews),
                                 "take more poses"});
    throw ChecksFailed{};
}

void calibrateCamera(Run* run) {
    const RigflowConfig& c = run->c;
    const Layout& l = run->l;
    const int given =
        static_cast<int>(loadTrueNumbers(at(run->w, l.pointsCam + "/cam_true_num.txt")).size());
    requireCalibrationViews(run, "camera", given,
                            run->p.detectCamera ? viewsTried(run->p.series) : given);
    ModelChoice cameraChoice;
    if (c.camera_model == "auto") {
        cameraChoice = chooseCameraModel(run->w, l, c, run->p.cameraSize);
        recordChoice(cameraChoice, "auto", &run->r.camera);
    } else {
        cameraChoice.chosen = c.camera_model;
        recordChoice(cameraChoice, "camera_model = " + c.camera_model, &run->r.camera);
    }
    const bool rational = cameraChoice.chosen == "rational";
    const std::string cameraResults = l.camera + "/lensrig_results.yaml";
    std::vector<std::string> args = {
        "--size",
        std::to_string(run->p.cameraSize.width) + "x" + std::to_string(run->p.cameraSize.height),
        "--results", cameraResults};
    for (const std::string& a :
         {c.camera_images.empty() ? std::string("-") : c.camera_images,
          patternArg(l.pointsCam, "/cam2D%03d.txt"), patternArg(l.pointsCam, "/cam3D%03d.txt"),
          l.pointsCam + "/cam_true_num.txt", std::string(rational ? "1" : "2"), l.camera, l.reproj,
          std::to_string(c.camera_iterations)})
        args.push_back(a);
    runProgram(run->w, l, ++run->step, run->steps,
               std::string("lensrig: camera calibration (") + cameraChoice.chosen + " lens model)",
               "lensrig", args, "lensrig.log");
    collectCamera(run->w, l, cameraResults, &run->r);
    run->r.camera.model = cameraChoice.chosen;
    if (!run->p.detectCamera) {
        // Given correspondences had no detection step to count their views.
        const int views = static_cast<int>(run->r.camera.imageNumbers.size());
        checkDetection("camera", views, views, 1.0, c, &run->findings);
    }
    checkCalibration("camera", run->r.camera, false, c, &run->findings);
    if (anyFailed(run->findings)) {
        diagnoseSwappedSeries(run);
        writeResults(run);
        throw ChecksFailed{};
    }
}

void checkStereoRms(const Results& r, const RigflowConfig& c, std::vector<Finding>* findings);

void calibrateProjector(Run* run) {
    const RigflowConfig& c = run->c;
    const Layout& l = run->l;
    const Plan& p = run->p;
    const std::string camMat = l.camera + "/Cam_mat.txt", dist = l.camera + "/dist.txt";
    if (c.undistort) {
        runProgram(run->w, l, ++run->step, run->steps,
                   "warpdots: camera points without lens distortion", "warpdots",
                   {l.pointsCam + "/cam_true_num.txt", camMat, dist,
                    patternArg(l.pointsCam, "/cam2D%03d.txt"),
                    patternArg(l.undistorted, "/cam2D%03d.txt")},
                   "warpdots_camera.log");
        runProgram(run->w, l, ++run->step, run->steps,
                   "warpdots: projected markers without lens distortion", "warpdots",
                   {l.pointsProj + "/proj_true_num.txt", camMat, dist,
                    patternArg(l.pointsProj, "/proj2D%03d.txt"),
                    patternArg(l.undistorted, "/proj2D%03d.txt")},
                   "warpdots_projector.log");
    }
    Results& r = run->r;
    r.projector.size = p.projectorSize;
    int projectorMode = c.projector_distortion;
    if (projectorMode == kAutoDistortion) {
        const ModelChoice choice = chooseProjectorModel(run->w, l, c, p);
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
    {
        const std::vector<int> cam = loadTrueNumbers(at(run->w, l.pointsCam + "/cam_true_num.txt"));
        int paired = 0;
        for (int n : loadTrueNumbers(at(run->w, l.pointsProj + "/proj_true_num.txt")))
            paired += std::count(cam.begin(), cam.end(), n) > 0;
        requireCalibrationViews(run, "projector", paired, static_cast<int>(cam.size()));
    }
    runProgram(run->w, l, ++run->step, run->steps, "lumenrig: projector and stereo calibration",
               "lumenrig",
               {"--results",
                projectorResults,
                l.pointsCam + "/cam_true_num.txt",
                c.camera_images.empty() ? std::string("-") : c.camera_images,
                patternArg(camPoints, "/cam2D%03d.txt"),
                patternArg(l.pointsCam, "/cam3D%03d.txt"),
                std::to_string(p.cameraSize.width),
                std::to_string(p.cameraSize.height),
                l.pointsProj + "/proj_true_num.txt",
                c.projector_images.empty() ? std::string("-") : c.projector_images,
                patternArg(projPoints, "/proj2D%03d.txt"),
                patternArg(l.pointsProj, "/pattern%03d.txt"),
                std::to_string(p.projectorSize.width),
                std::to_string(p.projectorSize.height),
                l.projector + "/R.txt",
                l.projector + "/T.txt",
                l.projector + "/F.txt",
                l.projector + "/K.txt",
                l.projector + "/D.txt",
                std::to_string(projectorMode)},
               "lumenrig.log");
    collectProjector(run->w, l, c, projectorResults, &r);
    r.stereo.cameraModel = c.undistort ? "pinhole on the camera points undistorted with the " +
                                             r.camera.model + " lens model"
                                       : "pinhole on the raw camera points";
    const int views = static_cast<int>(r.projector.imageNumbers.size());
    checkDetection("projector", views, static_cast<int>(r.camera.imageNumbers.size()), 1.0, c,
                   &run->findings);
    checkCalibration("projector", r.projector, true, c, &run->findings);
    checkStereoRms(r, c, &run->findings);
}

void checkStereoRms(const Results& r, const RigflowConfig& c, std::vector<Finding>* findings) {
    if (!(r.stereo.rms <= c.max_rms))
        findings->push_back(
            {true,
             "stereo RMS reprojection error " + std::to_string(r.stereo.rms) +
                 " px, max_rms = " + std::to_string(c.max_rms),
             "the board moved between the camera and the projector photo of a pose, or the "
             "two series do not show the same poses under the same numbers"});
}

// The joint solve replaces the chain's figures, so the checks made after the camera's
// (chainChecks on) are made again on its results.
void refineRig(Run* run, std::size_t chainChecks) {
    std::cout << "[" << ++run->step << "/" << run->steps << "] joint solve of the whole rig ..."
              << std::flush;
    const std::string problem = refineJointly(run->w, run->l, &run->r, &run->joint);
    for (const std::string& note : run->joint.notes) std::cout << "\n      " << note;
    if (!problem.empty()) {
        std::cout << " failed" << std::endl;
        run->findings.push_back({true, "the joint solve failed: " + problem,
                                 "the results are the chain's (refine = chain gives them without "
                                 "this check)"});
        return;
    }
    const RigSolution& s = run->joint.solution;
    std::cout << " done (" << s.rejected.size() << " of " << s.observations << " points rejected)"
              << std::endl;
    run->findings.erase(run->findings.begin() + static_cast<std::ptrdiff_t>(chainChecks),
                        run->findings.end());
    checkCalibration("camera", run->r.camera, false, run->c, &run->findings);
    checkCalibration("projector", run->r.projector, true, run->c, &run->findings);
    checkStereoRms(run->r, run->c, &run->findings);
    checkJoint(run->joint, &run->findings);
}
}  // namespace

namespace {
int runAll(Run& run, const RigflowOptions& o) {
    run.w = o.workDir;
    const std::string& w = run.w;
    RigflowConfig& c = run.c;
    try {
        if (!fs::is_directory(w)) throw InputError{"no working directory " + w};
        if (!fs::exists(o.configPath))
            throw InputError{"no configuration file " + o.configPath +
                             "; write one like this (rigflow --help lists every key):\n" +
                             rigflowConfigTemplate()};
        const std::string problem = readRigflowConfig(o.configPath, &c);
        if (!problem.empty()) throw InputError{problem};
        checkFolderText(c.output, "output");
        const std::string badOutput = outputFolderProblem(w, c.output, configuredInputs(c));
        if (!badOutput.empty()) throw InputError{badOutput};
        run.p = checkInputs(w, &c);
        run.l = layoutOf(c);
        const Plan& p = run.p;
        const Layout& l = run.l;
        prepareFolders(&run);
        printHeader(run);
        const bool undistort = p.projector && c.undistort;
        const bool joint = p.projector && c.refine == "joint";
        run.steps =
            p.detectCamera + p.detectProjector + 1 + (undistort ? 2 : 0) + p.projector + joint;

        detect(&run);
        calibrateCamera(&run);
        const std::size_t chainChecks = run.findings.size();
        if (p.projector) calibrateProjector(&run);
        if (joint) refineRig(&run, chainChecks);

        Results& r = run.r;
        checkCoverage(&run);
        const bool written = writeResults(&run);
        // Given camera points: the views their true-number file lists.
        const int tried =
            p.detectCamera ? viewsTried(p.series) : static_cast<int>(r.camera.imageNumbers.size());
        printSummary(c, r, tried, at(w, l.out));
        if (r.hasProjector && c.undistort) {
            // lumenrig refits the camera as a pinhole on the undistorted points: on a lens the
            // camera model describes well, its error matches lensrig's.
            const double a = run.joint.done ? run.joint.chain.camera.rms : r.camera.rms;
            const double b = r.pinholeCameraRms;
            if (std::abs(a - b) > kCameraAgreementRelative * std::min(a, b) + kCameraAgreementPx)
                std::cerr << "rigflow: warning: the camera's RMS error is " << a << " px with its "
                          << r.camera.model << " lens but " << b
                          << " px as a pinhole on the undistorted points (lumenrig): the camera "
                             "lens model is the suspect (try camera_model = standard or "
                             "rational)"
                          << std::endl;
        }
        if (!o.truthPath.empty() && run.joint.done)
            compareWithTruth(o.truthPath, run.joint.chain, "the chain's results");
        if (!o.truthPath.empty())
            compareWithTruth(o.truthPath, r, run.joint.done ? "the joint solve" : "");
        if (reportFindings(run)) return kRigflowChecksFailed;
        if (!written) return kRigflowStepFailed;
    } catch (const InputError& e) {
        if (run.step > 0) {
            // Exit 2 says no program ran; found later, the mistake fails the run's checks.
            run.findings.push_back({true, e.message, "fix the input named and run again"});
            reportFindings(run);
            return kRigflowChecksFailed;
        }
        std::cerr << "rigflow: " << e.message << std::endl;
        return kRigflowInputError;
    } catch (const StepFailed&) {
        return kRigflowStepFailed;
    } catch (const ChecksFailed&) {
        reportFindings(run);
        return kRigflowChecksFailed;
    } catch (const std::exception& e) {
        std::cerr << "rigflow: stopped by an unexpected failure: " << e.what()
                  << "; the results so far are in " << run.l.out
                  << " (check that WORKDIR and the output folder are writable and have room)"
                  << std::endl;
        return kRigflowStepFailed;
    }
    return kRigflowOk;
}
}  // namespace

int runRigflow(const RigflowOptions& o) {
    Run run;
    const int status = runAll(run, o);
    if (!run.folderReady || writeManifest(at(run.w, run.l.out), run.foreign)) return status;
    std::cerr << "rigflow: cannot write " << run.l.out << "/" << kManifestName
              << ": the next run will not know which files in it are rigflow's" << std::endl;
    return status == kRigflowOk ? kRigflowStepFailed : status;
}
