#include "rigflow_programs.h"

#include <algorithm>
#include <thread>

#include "name_pattern.h"

std::string patternArg(const std::string& folder, const std::string& file) {
    return escapePercent(folder) + file;
}

std::string seriesFolder(const Layout& layout) {
    return layout.out + "/series";
}

int detectionJobs(const RigflowConfig& c, int detections, int which) {
    const int all =
        c.jobs > 0 ? c.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    if (detections < 2) return all;
    return std::max(1, which == 0 ? (all + 1) / 2 : all / 2);
}

HarvestCommand harvestCommand(const RigflowConfig& c, bool projector, const Layout& layout,
                              const std::string& images, const std::vector<int>& used, int jobs) {
    HarvestCommand h;
    h.jobs = jobs;
    h.subpixel = c.subpixel != 0;
    h.projection = c.projection_image;
    h.cameraImages = images;
    h.first = used.front();
    h.count = used.back() - used.front() + 1;
    h.arThresh = c.ar_thresh;
    h.threshFirst = c.thresh_first;
    h.adaptive = c.adaptive;
    h.interval = c.thresh_interval;
    h.repeats = c.thresh_repeat_num;
    h.patterns = c.number_of_pattern;
    h.markSize = c.mark_size;
    h.spaceX = c.mark_space_x;
    h.spaceY = c.mark_space_y;
    h.centre = projector ? 1 : 0;
    h.rotation = c.board_rotation;
    h.mode = projector ? 1 : 0;
    h.minimum = c.minimum_number;
    h.output = projector ? layout.pointsProj : layout.pointsCam;
    h.marked = patternArg(layout.marked, projector ? "/proj%03d.png" : "/cam%03d.png");
    return h;
}

ProgramStep harvestStep(const HarvestCommand& command, bool projector) {
    return {projector ? "tagharvest: projected markers in the projector photos"
                      : "tagharvest: markers in the camera photos",
            "tagharvest", harvestCommandLine(command),
            std::string("tagharvest_") + (projector ? "projector" : "camera") + ".log"};
}

namespace {
std::string orDash(const std::string& pattern) {
    return pattern.empty() ? "-" : pattern;
}
}  // namespace

ProgramStep lensrigStep(const RigflowConfig& c, const Layout& l, cv::Size cameraSize,
                        LensModel model) {
    return {std::string("lensrig: camera calibration (") + lensModelName(model) + " lens model)",
            "lensrig",
            {"--size", std::to_string(cameraSize.width) + "x" + std::to_string(cameraSize.height),
             "--results", l.camera + "/lensrig_results.yaml", orDash(c.camera_images),
             patternArg(l.pointsCam, "/cam2D%03d.txt"), patternArg(l.pointsCam, "/cam3D%03d.txt"),
             l.pointsCam + "/cam_true_num.txt", std::to_string(lensrigMode(model)), l.camera,
             l.reproj, std::to_string(c.camera_iterations)},
            "lensrig.log"};
}

std::vector<ProgramStep> warpdotsSteps(const Layout& l) {
    const std::string camMat = l.camera + "/Cam_mat.txt", dist = l.camera + "/dist.txt";
    return {
        {"warpdots: camera points without lens distortion",
         "warpdots",
         {l.pointsCam + "/cam_true_num.txt", camMat, dist,
          patternArg(l.pointsCam, "/cam2D%03d.txt"), patternArg(l.undistorted, "/cam2D%03d.txt")},
         "warpdots_camera.log"},
        {"warpdots: projected markers without lens distortion",
         "warpdots",
         {l.pointsProj + "/proj_true_num.txt", camMat, dist,
          patternArg(l.pointsProj, "/proj2D%03d.txt"),
          patternArg(l.undistorted, "/proj2D%03d.txt")},
         "warpdots_projector.log"}};
}

namespace {
// lumenrig reads each device as its true numbers, photos, two point patterns and size.
void addDevice(const std::string& trueNum, const std::string& images, const std::string& first,
               const std::string& second, cv::Size size, std::vector<std::string>* args) {
    args->insert(args->end(), {trueNum, orDash(images), first, second, std::to_string(size.width),
                               std::to_string(size.height)});
}
}  // namespace

ProgramStep lumenrigStep(const RigflowConfig& c, const Layout& l, cv::Size cameraSize,
                         cv::Size projectorSize, LensModel projectorModel) {
    const std::string camPoints = c.undistort ? l.undistorted : l.pointsCam;
    const std::string projPoints = c.undistort ? l.undistorted : l.pointsProj;
    ProgramStep step{"lumenrig: projector and stereo calibration",
                     "lumenrig",
                     {"--results", l.projector + "/lumenrig_results.yaml"},
                     "lumenrig.log"};
    addDevice(l.pointsCam + "/cam_true_num.txt", c.camera_images,
              patternArg(camPoints, "/cam2D%03d.txt"), patternArg(l.pointsCam, "/cam3D%03d.txt"),
              cameraSize, &step.args);
    addDevice(l.pointsProj + "/proj_true_num.txt", c.projector_images,
              patternArg(projPoints, "/proj2D%03d.txt"),
              patternArg(l.pointsProj, "/pattern%03d.txt"), projectorSize, &step.args);
    for (const char* file : {"/R.txt", "/T.txt", "/F.txt", "/K.txt", "/D.txt"})
        step.args.push_back(l.projector + file);
    step.args.push_back(std::to_string(lumenrigMode(projectorModel)));
    return step;
}

std::string stepAdvice(const std::string& program, int status) {
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
