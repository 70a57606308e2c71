#include "harvest_fixture.h"

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

SceneTruth loadSceneTruth(const std::string& sceneDir) {
    SceneTruth t;
    cv::FileStorage fsr(sceneDir + "/truth.yaml", cv::FileStorage::READ);
    t.markSize = static_cast<double>(fsr["MARK_SIZE"]);
    t.spaceX = static_cast<double>(fsr["MARK_SPACE_X"]);
    t.spaceY = static_cast<double>(fsr["MARK_SPACE_Y"]);
    for (const cv::FileNode& node : fsr["view"]) {
        cv::Mat corners, projected;
        node["corners"] >> corners;
        node["projected"] >> projected;
        ViewTruth v;
        for (int id = 0; id < corners.rows; ++id) {
            std::array<cv::Point2d, 4> c;
            for (int p = 0; p < 4; ++p)
                c[p] = {corners.at<double>(id, 1 + 2 * p), corners.at<double>(id, 2 + 2 * p)};
            v.corners.push_back(c);
            v.projectedCamera.emplace_back(projected.at<double>(id, 1),
                                           projected.at<double>(id, 2));
            v.projectedProjector.emplace_back(projected.at<double>(id, 3),
                                              projected.at<double>(id, 4));
        }
        for (const cv::FileNode& id : node["hidden"]) v.hidden.push_back(static_cast<int>(id));
        for (const cv::FileNode& id : node["hidden_projected"])
            v.hiddenProjected.push_back(static_cast<int>(id));
        t.views.push_back(v);
    }
    return t;
}

void makeScene(const std::string& dir, int views, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--views", std::to_string(views), "--camera", "640x480"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProgramResult r = generateScene(dir, args, ".");
    ASSERT_EQ(r.status, 0) << r.err;
}

void prepareWorkDir(const std::string& sceneDir, const std::string& workDir) {
    fs::copy(sceneDir + "/data", workDir + "/data",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::copy_file(sceneDir + "/camparam.dat", workDir + "/camparam.dat",
                  fs::copy_options::overwrite_existing);
}

ProgramResult runHarvest(const HarvestArgs& args, const std::string& workDir) {
    return runProgram(programPath("tagharvest"), harvestCommandLine(args), workDir);
}

std::vector<std::vector<double>> readNumberLines(const std::string& path) {
    std::vector<std::vector<double>> lines;
    for (const std::string& line : splitLines(readFile(path))) {
        std::istringstream in(line);
        std::vector<double> values;
        double v;
        while (in >> v) values.push_back(v);
        lines.push_back(values);
    }
    return lines;
}
