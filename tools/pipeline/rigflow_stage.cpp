#include "rigflow_stage.h"

#include <filesystem>

namespace fs = std::filesystem;

std::string inWorkDir(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

bool existsInWorkDir(const std::string& workDir, const std::string& relative) {
    return fs::exists(fs::path(workDir) / relative);
}

std::string trueNumberFile(const Layout& layout, bool projector) {
    return projector ? layout.pointsProj + "/proj_true_num.txt"
                     : layout.pointsCam + "/cam_true_num.txt";
}
