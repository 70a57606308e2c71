// The four ways tagharvest --subpixel works on a photo: searched at full size or on a
// reduced copy (a longer side above 2048 px), with or without the adaptive pass. On scenes
// with known truth where one global threshold misses some markers, every path lists each
// marker at its place in full-size pixels, in the point files and in camera_AR_2Dinfo.
#include <gtest/gtest.h>

#include <array>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <sstream>

#include "harvest_fixture.h"

namespace {
constexpr double kMaxCornerErrorPx = 1.0;

struct ListedMarker {
    int id = -1;
    std::array<cv::Point2d, 4> corners;
};

// The markers of a run's point files (corners, board corners), with the id whose board
// corner 2 (its origin) the 3D lines give.
std::vector<ListedMarker> pointFileMarkers(const std::string& work, double pitch) {
    const auto image = readNumberLines(work + "/points/cam2D000.txt");
    const auto board = readNumberLines(work + "/points/cam3D000.txt");
    std::vector<ListedMarker> listed(image.size() / 4);
    for (std::size_t j = 0; j < listed.size(); ++j) {
        const long column = std::lround(board.at(4 * j + 2).at(0) / pitch);
        const long row = std::lround(board.at(4 * j + 2).at(1) / pitch);
        listed[j].id = static_cast<int>(column * 7 + row);
        for (int p = 0; p < 4; ++p)
            listed[j].corners[p] = {image[4 * j + p].at(0), image[4 * j + p].at(1)};
    }
    return listed;
}

// The markers of camera_AR_2Dinfo's blocks: " id = N", "cf = ..", then " vertecP" and
// "x  y" for every corner.
std::vector<ListedMarker> reportMarkers(const std::string& path) {
    std::vector<ListedMarker> listed;
    const std::vector<std::string> lines = splitLines(readFile(path));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(" id = ", 0) != 0) continue;
        ListedMarker m;
        m.id = std::stoi(lines[i].substr(6));
        for (int p = 0; p < 4; ++p) {
            std::istringstream corner(lines.at(i + 3 + 2 * p));
            corner >> m.corners[p].x >> m.corners[p].y;
        }
        listed.push_back(m);
    }
    return listed;
}

// The largest distance of a listed corner from the truth of its id (a wrong id is far).
double worstCornerError(const std::vector<ListedMarker>& listed, const ViewTruth& truth) {
    double worst = 0;
    for (const ListedMarker& m : listed)
        for (int p = 0; p < 4; ++p)
            worst = std::max(worst, cv::norm(m.corners[p] - truth.corners.at(m.id)[p]));
    return worst;
}

// The number after "what" in the console, -1 when it is not there.
int countAfter(const std::string& console, const std::string& what) {
    std::smatch m;
    if (!std::regex_search(console, m, std::regex(what + "([0-9]+)"))) return -1;
    return std::stoi(m[1]);
}
}  // namespace

TEST(TagharvestPaths, EveryPathListsEveryMarkerAtItsPlace) {
    TempDir dir;
    // A strong brightness fall-off: one threshold loses part of the board, which the
    // adaptive pass finds again. 2400 x 1800 is searched on a copy at 2048 x 1536.
    // The rectified view of the adaptive pass has the camera's size and must hold most of
    // the projector's pattern: the smaller camera is about as large as the projector.
    for (const char* size : {"1280x960", "2400x1800"})
        makeScene(dir.file(size), 1, {"--gradient", "0.8", "--seed", "5", "--camera", size});
    struct Case {
        const char* name;
        const char* scene;
        int adaptive;
        cv::Size searched;  // the work image, as the marked image shows it
    };
    const Case cases[] = {
        {"full size, sweep only", "1280x960", 0, {1280, 960}},
        {"full size, adaptive pass", "1280x960", 1, {1280, 960}},
        {"reduced copy, sweep only", "2400x1800", 0, {2048, 1536}},
        {"reduced copy, adaptive pass", "2400x1800", 1, {2048, 1536}},
    };
    int sweepOnlyFound[2] = {0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sceneDir = dir.file(c.scene);
        const SceneTruth truth = loadSceneTruth(sceneDir);
        HarvestArgs a;
        a.count = 1;
        a.repeats = 1;  // one global threshold: the dark side of the board is lost
        a.adaptive = c.adaptive;
        a.projection = sceneDir + "/projection.png";
        a.cameraImages = sceneDir + "/images/cam%03d.png";
        std::vector<std::string> args = harvestCommandLine(a);
        args.insert(args.begin(), "--subpixel");
        TempDir work;
        prepareWorkDir(sceneDir, work.path());
        const ProgramResult r = runProgram(programPath("tagharvest"), args, work.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const bool reduced = c.searched.width == 2048;
        EXPECT_EQ(r.out.find("searching reduced copies") != std::string::npos, reduced);
        EXPECT_EQ(r.out.find("## Start adaptive thresh") != std::string::npos, c.adaptive == 1);
        EXPECT_EQ(fileExists(work.file("info/cam/adaptive_AR_2Dinfo000.txt")), c.adaptive == 1);
        EXPECT_EQ(cv::imread(work.file("test/marked000.png")).size(), c.searched);

        const int swept = countAfter(r.out, "image 0 \\.\\.\\. ");
        const int kept = countAfter(r.out, "OK \\(detect num ");
        const std::vector<ListedMarker> listed =
            pointFileMarkers(work.path(), truth.markSize + truth.spaceX);
        EXPECT_EQ(static_cast<int>(listed.size()), kept);
        EXPECT_LE(worstCornerError(listed, truth.views[0]), kMaxCornerErrorPx);
        // The report holds what the sweep kept, in full-size pixels on every path.
        const std::vector<ListedMarker> reported =
            reportMarkers(work.file("info/cam/camera_AR_2Dinfo.txt"));
        EXPECT_EQ(static_cast<int>(reported.size()), swept);
        EXPECT_LE(worstCornerError(reported, truth.views[0]), kMaxCornerErrorPx);
        if (c.adaptive == 0) {
            EXPECT_EQ(kept, swept);
            EXPECT_GE(swept, 50) << "the sweep must find most of the board";
            sweepOnlyFound[reduced] = kept;
        } else {
            EXPECT_GT(kept, sweepOnlyFound[reduced]) << "the adaptive pass adds markers";
        }
    }
}
