#include "rigflow_scene.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {
// The scene the test run generated (see generate_scenes.cmake), or a new one in dir.
std::string generate(const TempDir& dir, const std::string& name, const std::string& views,
                     const std::string& camera) {
    const std::string shared = std::string(TOOLKIT_SCENES_DIR) + "/" + name;
    if (fileExists(shared + "/truth.yaml")) return shared;
    const ProgramResult r =
        runProgram(sceneGenerator(),
                   {"scene", "--out", "scene", "--views", views, "--camera", camera, "--seed", "3"},
                   dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return dir.file("scene");
}
}  // namespace

const std::string& scene() {
    static TempDir dir;
    static const std::string path = generate(dir, "accuracy", "10", "960x720");
    return path;
}

const std::string& smallScene() {
    static TempDir dir;
    static const std::string path = generate(dir, "small", "8", "640x480");
    return path;
}

const std::string& tinyScene() {
    static TempDir dir;
    static const std::string path = generate(dir, "tiny", "2", "640x480");
    return path;
}

void copyScene(const std::string& to, const std::string& config, const std::string& from) {
    fs::copy(from + "/data", to + "/data", fs::copy_options::recursive);
    fs::copy(from + "/images", to + "/images", fs::copy_options::recursive);
    fs::copy_file(from + "/projection.png", to + "/projection.png");
    // Each key once: the series named here unless config names its own.
    const bool ownSeries = config.find("camera_images = ") != std::string::npos;
    writeFile(to + "/rigflow.cfg",
              std::string("# test scene\n") +
                  (ownSeries ? ""
                             : "camera_images = images/cam%03d.png\nprojector_images = "
                               "images/proj%03d.png\n") +
                  config);
}
