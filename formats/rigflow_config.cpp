#include "rigflow_config.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "correspondence_folder.h"
#include "image_size.h"
#include "lens_model_kind.h"

namespace {
using Setter = std::function<bool(const std::string&)>;

Setter intKey(int* target, int lo, int hi) {
    return [=](const std::string& s) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi) return false;
        *target = static_cast<int>(v);
        return true;
    };
}

Setter doubleKey(double* target, double lo, double hi) {
    return [=](const std::string& s) {
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !(v >= lo && v <= hi)) return false;
        *target = v;
        return true;
    };
}

Setter textKey(std::string* target) {
    return [=](const std::string& s) {
        if (s.empty()) return false;
        *target = s;
        return true;
    };
}

Setter sizeKey(int* width, int* height) {
    return [=](const std::string& s) { return parseImageSize(s, width, height); };
}

Setter choiceKey(std::string* target, std::vector<std::string> choices) {
    return [=](const std::string& s) {
        for (const std::string& c : choices)
            if (s == c) {
                *target = s;
                return true;
            }
        return false;
    };
}

// "auto", or a model lumenrig fits by its name or its proj_dist_mode number (0 or 1).
Setter projectorModelKey(int* target) {
    return [=](const std::string& s) {
        if (s == "auto") {
            *target = kAutoDistortion;
            return true;
        }
        LensModel model = LensModel::kNone;
        const bool named = lensModelFromName(s, &model) ||
                           (s.size() == 1 && lensModelFromLumenrigMode(s[0] - '0', &model));
        if (!named || lumenrigMode(model) < 0) return false;
        *target = lumenrigMode(model);
        return true;
    };
}

// "3, 7, 12" (commas or spaces).
Setter numberListKey(std::set<int>* target) {
    return [=](const std::string& s) {
        std::set<int> numbers;
        std::string item;
        for (std::size_t i = 0; i <= s.size(); ++i) {
            if (i < s.size() && s[i] != ',' && s[i] != ' ' && s[i] != '\t') {
                item += s[i];
                continue;
            }
            if (item.empty()) continue;
            int n = 0;
            if (!intKey(&n, 0, 1000000)(item)) return false;
            numbers.insert(n);
            item.clear();
        }
        *target = numbers;
        return true;
    };
}

struct Key {
    Setter set;
    std::string help;
};

std::map<std::string, Key> keys(RigflowConfig* c) {
    return {
        {"camera_images",
         {textKey(&c->camera_images),
          "camera photos of the board, e.g. images/cam%03d.png (or camera_points)"}},
        {"projector_images",
         {textKey(&c->projector_images),
          "photos of the projected pattern, e.g. images/proj%03d.png (none: the camera alone)"}},
        {"camera_points",
         {textKey(&c->camera_points), std::string("folder of camera correspondences (") +
                                          trueNumberFileName(false) + ", " +
                                          pointFileNamePattern(PointFile::kCameraImage) + ", " +
                                          pointFileNamePattern(PointFile::kCameraBoard) +
                                          ") used instead of detecting markers in camera_images"}},
        {"projector_points",
         {textKey(&c->projector_points),
          std::string("folder of projector correspondences (") + trueNumberFileName(true) + ", " +
              pointFileNamePattern(PointFile::kProjectedImage) + ", " +
              pointFileNamePattern(PointFile::kProjectedPattern) +
              ") used instead of projector_images"}},
        {"camera_size",
         {sizeKey(&c->camera_width, &c->camera_height),
          "camera image size WxH (the size most camera photos share)"}},
        {"projector_size",
         {sizeKey(&c->projector_width, &c->projector_height),
          "projector image size WxH (from the projection image)"}},
        {"camera_model",
         {choiceKey(&c->camera_model, {"auto", lensModelName(LensModel::kStandard),
                                       lensModelName(LensModel::kRational)}),
          "camera lens: auto, standard (k1 k2 p1 p2 k3) or rational (auto)"}},
        {"projection_image",
         {textKey(&c->projection_image), "the image the projector casts (projection.png)"}},
        {"first_num", {intKey(&c->first_num, 0, 1000000), "number of the first photo (0)"}},
        {"image_num",
         {intKey(&c->image_num, 0, 1000000),
          "numbers first_num .. first_num + image_num - 1; 0: every photo from first_num (0)"}},
        {"exclude", {numberListKey(&c->exclude), "view numbers to leave out, e.g. 3, 7 (none)"}},
        {"max_rms",
         {doubleKey(&c->max_rms, 1e-6, 1e6),
          "largest acceptable RMS reprojection error, pixels (1)"}},
        {"min_views", {intKey(&c->min_views, 1, 1000000), "fewest usable views per device (6)"}},
        {"gl_near",
         {doubleKey(&c->gl_near, 1e-9, 1e12),
          "near clipping plane of the OpenGL projection matrices, board units (10)"}},
        {"gl_far",
         {doubleKey(&c->gl_far, 1e-9, 1e12),
          "far clipping plane of the OpenGL projection matrices, board units (10000)"}},
        {"ar_thresh",
         {doubleKey(&c->ar_thresh, 0, 100), "minimum marker confidence in percent (50)"}},
        {"thresh_first", {intKey(&c->thresh_first, 0, 255), "first binarization threshold (80)"}},
        {"thresh_interval", {intKey(&c->thresh_interval, 0, 255), "threshold step; 0 = Otsu (10)"}},
        {"thresh_repeat_num", {intKey(&c->thresh_repeat_num, 1, 256), "number of thresholds (5)"}},
        {"adaptive", {intKey(&c->adaptive, 0, 1), "adaptive re-detection pass, 0 or 1 (1)"}},
        {"number_of_pattern",
         {intKey(&c->number_of_pattern, kBoardMarkers, 150), "pattern files data/pat.NN (63)"}},
        {"mark_size", {doubleKey(&c->mark_size, 1e-6, 1e6), "marker side on the board, mm (30)"}},
        {"mark_space_x",
         {doubleKey(&c->mark_space_x, 0, 1e6), "gap between marker columns, mm (10)"}},
        {"mark_space_y", {doubleKey(&c->mark_space_y, 0, 1e6), "gap between marker rows, mm (10)"}},
        {"board_rotation",
         {intKey(&c->board_rotation, 0, 1), "1 when the board ids run backwards (0)"}},
        {"minimum_number",
         {intKey(&c->minimum_number, 0, 150), "a photo needs more markers than this (10)"}},
        {"subpixel", {intKey(&c->subpixel, 0, 1), "sub-pixel marker corners, 0 or 1 (1)"}},
        {"jobs",
         {intKey(&c->jobs, 0, 256),
          "photos detected at the same time, shared by the two series; 0: every core (0)"}},
        {"camera_iterations",
         {intKey(&c->camera_iterations, 1, 100000), "camera calibration iterations (100)"}},
        {"projector_distortion",
         {projectorModelKey(&c->projector_distortion),
          "projector lens: auto, 0 none, 1 k1 k2 p1 p2 k3 (auto)"}},
        {"undistort",
         {intKey(&c->undistort, 0, 1), "remove the camera's lens distortion first (1)"}},
        {"refine",
         {choiceKey(&c->refine, {"joint", "chain"}),
          "last step: joint (one robust solve of camera, projector and R, T, with outlier "
          "rejection and honest σ) or chain (the programs' results as they are) (joint)"}},
        {"output", {textKey(&c->output), "results folder (calibration)"}},
    };
}

// A comment starts at a '#' that opens the line or follows white space: "cam#2/%03d.png"
// keeps its '#'.
std::string withoutComment(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    return line;
}

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}
}  // namespace

std::string readRigflowConfig(const std::string& path, RigflowConfig* config) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return "the configuration file " + path + " is a directory";
    std::ifstream in(path);
    if (!in) return "cannot read the configuration file " + path;
    const std::map<std::string, Key> table = keys(config);
    std::map<std::string, int> seen;  // key, line
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = path + " line " + std::to_string(number) + ": ";
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // UTF-8 mark
        const std::string content = trim(withoutComment(line));
        if (content.empty()) continue;
        const std::size_t eq = content.find('=');
        if (eq == std::string::npos) return where + "expected key = value";
        const std::string key = trim(content.substr(0, eq)), value = trim(content.substr(eq + 1));
        const auto it = table.find(key);
        if (it == table.end()) {
            std::string shown;  // bytes outside printable ASCII made visible
            for (unsigned char ch : key) {
                static const char* const hex = "0123456789ABCDEF";
                shown += ch >= 0x20 && ch < 0x7F ? std::string(1, static_cast<char>(ch))
                                                 : std::string("\\x") + hex[ch >> 4] + hex[ch & 15];
            }
            return where + "unknown key " + shown;
        }
        const auto [earlier, first] = seen.emplace(key, number);
        if (!first)
            return where + key + " is set again (first on line " + std::to_string(earlier->second) +
                   "): keep one of the two lines";
        if (!it->second.set(value))
            return where + "bad value for " + key + ": " + value + " (" + it->second.help + ")";
    }
    if (config->camera_images.empty() && config->camera_points.empty())
        return path + ": camera_images (photos) or camera_points (point files) is required";
    if (!(config->gl_far > config->gl_near)) return path + ": gl_far must be greater than gl_near";
    const long long lastThreshold =
        config->thresh_interval == 0
            ? config->thresh_first
            : config->thresh_first +
                  static_cast<long long>(config->thresh_interval) * (config->thresh_repeat_num - 1);
    if (config->thresh_interval != 0 && lastThreshold >= 255)
        return path + ": thresh_first = " + std::to_string(config->thresh_first) +
               ", thresh_interval = " + std::to_string(config->thresh_interval) +
               ", thresh_repeat_num = " + std::to_string(config->thresh_repeat_num) +
               " sweep up to the threshold " + std::to_string(lastThreshold) +
               ": a threshold of 255 or more turns every photo into one colour; keep the "
               "sweep below 255 (e.g. thresh_first = 80, thresh_interval = 10)";
    return "";
}

std::vector<std::string> rigflowConfigHelp() {
    RigflowConfig scratch;
    std::vector<std::string> lines;
    for (const auto& [key, k] : keys(&scratch)) lines.push_back(key + " = " + k.help);
    return lines;
}

std::string rigflowConfigTemplate() {
    return "# rigflow.cfg: lines of key = value (rigflow --help lists every key)\n"
           "camera_images = images/cam%03d.png     # photos of the printed board\n"
           "projector_images = images/proj%03d.png # the same poses with the pattern projected\n"
           "projection_image = projection.png      # the image the projector casts\n"
           "mark_size = 30                         # marker side on the printed board, mm\n"
           "mark_space_x = 10                      # gap between marker columns, mm\n"
           "mark_space_y = 10                      # gap between marker rows, mm\n";
}
