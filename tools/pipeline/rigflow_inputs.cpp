#include "rigflow_inputs.h"

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "name_pattern.h"
#include "output_folder.h"
#include "pattern_file.h"
#include "point_files.h"
#include "point_folder_checks.h"

namespace fs = std::filesystem;

namespace {
constexpr int kMinProjectionSide = 32;  // pixels: smaller holds no identifiable marker
// The programs take file names of at most 255 characters (lumenrig, warpdots): a folder
// leaves room for the longest name rigflow adds to it.
constexpr std::size_t kMaxFolderText = 200;

// 0 / -1 (unreadable: *problem names it).
int photoSize(const std::string& workDir, const std::string& name, const std::string& what,
              cv::Size* size, std::string* problem) {
    const cv::Mat image = cv::imread(inWorkDir(workDir, name));
    if (image.empty()) {
        *problem = "cannot read the " + what + " " + name;
        return -1;
    }
    *size = image.size();
    return 0;
}

std::string folderTextProblem(const std::string& folder, const std::string& key) {
    if (escapePercent(folder).size() <= kMaxFolderText) return "";
    return key + " = " + folder.substr(0, 40) + "… is " + std::to_string(folder.size()) +
           " characters long; the programs take " + "file names of at most 255: name a folder " +
           "of at most " + std::to_string(kMaxFolderText) + " characters";
}

std::string pointFolderProblem(const std::string& workDir, const std::string& folder,
                               const std::string& trueNum, const std::string& key) {
    const std::string text = folderTextProblem(folder, key);
    if (!text.empty()) return text;
    if (!fs::is_directory(fs::path(workDir) / folder))
        return key + ": no folder " + folder + " in " + workDir;
    if (!existsInWorkDir(workDir, folder + "/" + trueNum))
        return key + ": " + folder + " holds no " + trueNum +
               " (the folder tagharvest writes its point files to)";
    return "";
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

// What detection needs: the projected image, the pattern files and the photo series.
StageResult checkDetectionInputs(const std::string& workDir, const RigflowConfig& c, Plan* p) {
    if (!existsInWorkDir(workDir, c.projection_image))
        return inputError("the projected pattern image " + c.projection_image +
                          " is missing (tagforge projection writes one; projection_image "
                          "names it)");
    cv::Size cast;
    std::string problem;
    if (photoSize(workDir, c.projection_image, "projected pattern image", &cast, &problem) != 0)
        return inputError(problem);
    if (cast.width < kMinProjectionSide || cast.height < kMinProjectionSide)
        return inputError("projection_image = " + c.projection_image + " is " +
                          std::to_string(cast.width) + "x" + std::to_string(cast.height) +
                          ": too small to hold a marker tagharvest could identify; name the "
                          "image the projector casts (tagforge projection writes one)");
    for (int i = 0; i < c.number_of_pattern; ++i) {
        const std::string name = patternFileName("data", i);
        if (!existsInWorkDir(workDir, name))
            return inputError(
                "pattern file " + name + " is missing: the folder data needs pat.00 to pat." +
                std::to_string(c.number_of_pattern - 1) + " (tagforge patterns --out data)");
    }
    SeriesRequest q;
    q.camera = p->detectCamera ? c.camera_images : c.projector_images;
    if (p->detectCamera && p->detectProjector) q.projector = c.projector_images;
    q.firstNum = c.first_num;
    q.imageNum = c.image_num;
    q.exclude = c.exclude;
    try {
        p->series = scanPhotoSeries(workDir, q);
    } catch (const std::runtime_error& e) {
        return inputError(e.what());
    }
    return {};
}

// Sizes: given, or from the photos (camera) and the projection image (projector).
StageResult findSizes(const std::string& workDir, const RigflowConfig& c, Plan* p) {
    std::string problem;
    if (p->detectCamera) {
        p->cameraSize = p->series.size;
    } else if (c.camera_width == 0 && !c.camera_images.empty()) {
        const std::vector<int> numbers =
            loadTrueNumbers(inWorkDir(workDir, c.camera_points + "/cam_true_num.txt"));
        if (!numbers.empty() &&
            existsInWorkDir(workDir, expandPattern(c.camera_images, numbers[0]))) {
            const std::string photo = expandPattern(c.camera_images, numbers[0]);
            if (photoSize(workDir, photo, "photo", &p->cameraSize, &problem) != 0)
                return inputError(problem);
            p->sizeFrom = "from photo " + std::to_string(numbers[0]) + " (" + photo + ")";
        }
    }
    if (c.camera_width != 0) {
        const cv::Size given(c.camera_width, c.camera_height);
        if (p->detectCamera && given != p->cameraSize)
            return inputError("camera_size is " + std::to_string(given.width) + "x" +
                              std::to_string(given.height) + " but the camera photos are " +
                              std::to_string(p->cameraSize.width) + "x" +
                              std::to_string(p->cameraSize.height));
        p->cameraSize = given;
    }
    if (p->cameraSize.width == 0)
        return inputError(
            "camera_size is required with camera_points (e.g. camera_size = "
            "1280x960): there is no camera photo to take it from");
    if (!p->projector) return {};
    if (c.projector_width != 0)
        p->projectorSize = cv::Size(c.projector_width, c.projector_height);
    else if (!existsInWorkDir(workDir, c.projection_image))
        return inputError(
            "projector_size is required with projector_points (e.g. "
            "projector_size = 1024x768) when there is no projection image");
    else if (photoSize(workDir, c.projection_image, "projected pattern image", &p->projectorSize,
                       &problem) != 0)
        return inputError(problem);
    return {};
}
}  // namespace

StageResult checkInputs(const std::string& workDir, RigflowConfig* c, Plan* p) {
    p->detectCamera = c->camera_points.empty();
    p->projector = !c->projector_points.empty() || !c->projector_images.empty();
    p->detectProjector = c->projector_points.empty() && !c->projector_images.empty();
    for (const auto& [pattern, key] : {std::pair{c->camera_images, "camera_images"},
                                       std::pair{c->projector_images, "projector_images"}})
        if (!pattern.empty() && countIntegerConversions(pattern) != 1)
            return inputError(std::string(key) +
                              " must hold one integer conversion such as %03d: " + pattern);
    std::string problem;
    if (!p->detectCamera)
        problem =
            pointFolderProblem(workDir, c->camera_points, "cam_true_num.txt", "camera_points");
    if (problem.empty() && !c->projector_points.empty())
        problem = pointFolderProblem(workDir, c->projector_points, "proj_true_num.txt",
                                     "projector_points");
    if (!problem.empty()) return inputError(problem);
    if (p->detectCamera || p->detectProjector) {
        const StageResult detection = checkDetectionInputs(workDir, *c, p);
        if (!done(detection)) return detection;
    }
    const StageResult sizes = findSizes(workDir, *c, p);
    if (!done(sizes)) return sizes;
    for (const auto& [folder, key] : {std::pair{c->camera_points, "camera_points"},
                                      std::pair{c->projector_points, "projector_points"}}) {
        problem = folder.empty() ? "" : givenViewsProblem(workDir, folder, key, key[0] == 'p');
        if (!problem.empty()) return inputError(problem);
    }
    return {};
}

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

StageResult readInputs(const RigflowOptions& o, RigflowRun* run) {
    const std::string& w = run->workDir;
    if (!fs::is_directory(w)) return inputError("no working directory " + w);
    if (!fs::exists(o.configPath))
        return inputError("no configuration file " + o.configPath +
                          "; write one like this (rigflow --help lists every key):\n" +
                          rigflowConfigTemplate());
    std::string problem = readRigflowConfig(o.configPath, &run->config);
    if (problem.empty()) problem = folderTextProblem(run->config.output, "output");
    if (problem.empty())
        problem = outputFolderProblem(w, run->config.output, configuredInputs(run->config));
    if (!problem.empty()) return inputError(problem);
    const StageResult checked = checkInputs(w, &run->config, &run->plan);
    if (!done(checked)) return checked;
    run->layout = layoutOf(run->config);
    return {};
}
