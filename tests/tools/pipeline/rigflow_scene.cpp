#include "rigflow_scene.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

// The arguments as tests/tools/pipeline/CMakeLists.txt generates them for the test run.
const std::string& scene() {
    return sharedScene("accuracy", {"--views", "10", "--camera", "960x720", "--seed", "3"});
}

const std::string& smallScene() {
    return sharedScene("small", {"--views", "8", "--camera", "640x480", "--seed", "3"});
}

const std::string& tinyScene() {
    return sharedScene("tiny", {"--views", "2", "--camera", "640x480", "--seed", "3"});
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
