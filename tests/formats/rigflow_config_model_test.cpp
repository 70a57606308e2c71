#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rigflow_config.h"

namespace {
// The error readRigflowConfig gives for a file of the photos and one line more ("" when it
// is read).
std::string readLine(const std::string& line, RigflowConfig* c) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "rigflow_config_model_test.cfg").string();
    std::ofstream(path) << "camera_images = cam%03d.png\n" << line << "\n";
    const std::string error = readRigflowConfig(path, c);
    std::filesystem::remove(path);
    return error;
}
}  // namespace

// rigflow.cfg names the lens models by the result files' names or lumenrig's numbers; a
// model the program cannot fit is refused.
TEST(FormatsRigflowConfig, LensModelKeysTakeTheModelsNames) {
    struct Row {
        const char* line;
        bool accepted;
        int projector;  // projector_distortion when accepted
        const char* camera;
    };
    const Row rows[] = {
        {"projector_distortion = auto", true, kAutoDistortion, "auto"},
        {"projector_distortion = 0", true, 0, "auto"},
        {"projector_distortion = none", true, 0, "auto"},
        {"projector_distortion = 1", true, 1, "auto"},
        {"projector_distortion = standard", true, 1, "auto"},
        {"projector_distortion = rational", false, 0, ""},
        {"projector_distortion = 2", false, 0, ""},
        {"projector_distortion = 01", false, 0, ""},
        {"projector_distortion = -1", false, 0, ""},
        {"camera_model = standard", true, kAutoDistortion, "standard"},
        {"camera_model = rational", true, kAutoDistortion, "rational"},
        {"camera_model = none", false, 0, ""},
        {"camera_model = 2", false, 0, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        RigflowConfig c;
        const std::string error = readLine(r.line, &c);
        EXPECT_EQ(error.empty(), r.accepted) << error;
        if (!r.accepted) {
            EXPECT_NE(error.find("bad value for"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(c.projector_distortion, r.projector);
        EXPECT_EQ(c.camera_model, r.camera);
    }
}
