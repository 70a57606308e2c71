// tagharvest on generated scenes with known truth: camera and projector mode, and the
// adaptive pass on a scene with a strong brightness gradient.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <map>
#include <set>

#include "harvest_fixture.h"

namespace {
// Accepted corners lie on the outermost dark pixel centres, up to about 1.5 px inside a
// blurred edge at a low threshold, and are then truncated toward zero (up to 1 px more).
constexpr double kCornerTolerancePx = 2.5;
constexpr double kMinDetectedShare = 0.95;
// Mean offset of the refined projected centres from the truth, px.
constexpr double kMaxCentreBiasPx = 0.03;

constexpr int kViews = 4;  // the whole shared scene
const std::string& sharedScene() {
    return harvestScene();
}

// Board corner 0 (larger X and Y) of an id, to recognise markers in the 3D file.
std::map<std::pair<int, int>, int> idsByBoardCorner(const SceneTruth& t) {
    std::map<std::pair<int, int>, int> ids;
    for (int col = 0; col < 9; ++col)
        for (int row = 0; row < 7; ++row) {
            const double x1 = col * t.spaceX + (col + 1) * t.markSize,
                         y1 = row * t.spaceY + (row + 1) * t.markSize;
            ids[{static_cast<int>(std::lround(x1)), static_cast<int>(std::lround(y1))}] =
                col * 7 + row;
        }
    return ids;
}
}  // namespace

TEST(TagharvestAccuracy, CameraModeCornersAndBoardPoints) {
    TempDir work;
    prepareWorkDir(sharedScene(), work.path());
    HarvestArgs a;
    a.projection = sharedScene() + "/projection.png";
    a.cameraImages = sharedScene() + "/images/cam%03d.png";
    a.count = kViews;
    const ProgramResult r = runHarvest(a, work.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const SceneTruth truth = loadSceneTruth(sharedScene());
    const auto ids = idsByBoardCorner(truth);
    const std::vector<std::vector<double>> trueNums =
        readNumberLines(work.file("points/cam_true_num.txt"));
    ASSERT_EQ(trueNums.size(), static_cast<std::size_t>(kViews));
    int detected = 0, cornersChecked = 0;
    for (int v = 0; v < kViews; ++v) {
        char name[64];
        std::snprintf(name, sizeof name, "points/cam2D%03d.txt", v);
        const auto p2 = readNumberLines(work.file(name));
        std::snprintf(name, sizeof name, "points/cam3D%03d.txt", v);
        const auto p3 = readNumberLines(work.file(name));
        ASSERT_EQ(p2.size(), p3.size());
        ASSERT_EQ(p2.size() % 4, 0u);
        int previousId = -1;
        for (std::size_t m = 0; m < p2.size() / 4; ++m) {
            const auto found =
                ids.find({static_cast<int>(p3[4 * m][0]), static_cast<int>(p3[4 * m][1])});
            ASSERT_NE(found, ids.end());
            const int id = found->second;
            EXPECT_GT(id, previousId) << "ids ascending";
            previousId = id;
            for (int p = 0; p < 4; ++p) {
                const cv::Point2d t = truth.views[v].corners[id][p];
                EXPECT_NEAR(p2[4 * m + p][0], t.x, kCornerTolerancePx)
                    << "view " << v << " id " << id << " corner " << p;
                EXPECT_NEAR(p2[4 * m + p][1], t.y, kCornerTolerancePx)
                    << "view " << v << " id " << id << " corner " << p;
                EXPECT_EQ(p2[4 * m + p][0], std::trunc(p2[4 * m + p][0]))
                    << "accepted corners are whole numbers";
                EXPECT_EQ(p3[4 * m + p][2], 0.0);
                ++cornersChecked;
            }
            ++detected;
        }
    }
    EXPECT_GE(detected, kMinDetectedShare * kViews * 63);
    EXPECT_GT(cornersChecked, 0);
}

TEST(TagharvestAccuracy, ProjectorModePairsCentresWithPatternPoints) {
    TempDir work;
    prepareWorkDir(sharedScene(), work.path());
    HarvestArgs a;
    a.projection = sharedScene() + "/projection.png";
    a.cameraImages = sharedScene() + "/images/proj%03d.png";
    a.count = kViews;
    a.mode = 1;
    a.centre = 1;
    const ProgramResult r = runHarvest(a, work.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const SceneTruth truth = loadSceneTruth(sharedScene());
    int detected = 0;
    for (int v = 0; v < kViews; ++v) {
        char name[64];
        std::snprintf(name, sizeof name, "points/proj2D%03d.txt", v);
        const auto cam = readNumberLines(work.file(name));
        std::snprintf(name, sizeof name, "points/pattern%03d.txt", v);
        const auto pattern = readNumberLines(work.file(name));
        ASSERT_EQ(cam.size(), pattern.size()) << "the two files pair line by line";
        for (std::size_t i = 0; i < cam.size(); ++i) {
            // the pattern point names the marker: nearest true projector centre
            int id = -1;
            double best = 1e9;
            for (int k = 0; k < 63; ++k) {
                const double d = std::hypot(truth.views[v].projectedProjector[k].x - pattern[i][0],
                                            truth.views[v].projectedProjector[k].y - pattern[i][1]);
                if (d < best) {
                    best = d;
                    id = k;
                }
            }
            EXPECT_LT(best, 0.01) << "pattern point is the projected marker's centre";
            EXPECT_NEAR(cam[i][0], truth.views[v].projectedCamera[id].x, kCornerTolerancePx)
                << v << " " << id;
            EXPECT_NEAR(cam[i][1], truth.views[v].projectedCamera[id].y, kCornerTolerancePx)
                << v << " " << id;
            ++detected;
        }
    }
    EXPECT_GE(detected, kMinDetectedShare * kViews * 63);
    const std::string pattern0 = readFile(work.file("points/pattern000.txt"));
    EXPECT_EQ(pattern0.find('\t'), std::string::npos) << "pattern lines use one blank";
}

TEST(TagharvestAccuracy, AdaptivePassAddsMarkersTheSweepMissed) {
    TempDir dir;
    // The rectified view has the camera's size and holds the pattern image shrunk to 80 %
    // and shifted by 80 pixels: the camera must be about as large as the projector.
    makeScene(dir.file("scene"), 1, {"--gradient", "0.8", "--seed", "5", "--camera", "1280x960"});
    const std::string scene = dir.file("scene");
    const SceneTruth truth = loadSceneTruth(scene);
    auto markersFound = [&](int adaptive, std::vector<std::vector<double>>* points) {
        TempDir work;
        prepareWorkDir(scene, work.path());
        HarvestArgs a;
        a.projection = scene + "/projection.png";
        a.cameraImages = scene + "/images/cam%03d.png";
        a.count = 1;
        a.repeats = 1;  // one global threshold: the dark side of the board is lost
        a.adaptive = adaptive;
        const ProgramResult r = runHarvest(a, work.path());
        EXPECT_EQ(r.status, 0) << r.err;
        *points = readNumberLines(work.file("points/cam2D000.txt"));
        return static_cast<int>(points->size() / 4);
    };
    std::vector<std::vector<double>> sweepOnly, withAdaptive;
    const int before = markersFound(0, &sweepOnly);
    const int after = markersFound(1, &withAdaptive);
    EXPECT_GT(before, 11) << "the image must be usable";
    EXPECT_GT(after, before) << "the adaptive pass adds markers";
    // Every marker (added ones included) is where the truth says it is, once, and the adaptive
    // pass keeps every marker the sweep found.
    auto trueId = [&](const std::vector<std::vector<double>>& points, std::size_t m) {
        int id = -1;
        double best = 1e9;
        for (std::size_t k = 0; k < truth.views[0].corners.size(); ++k) {
            const cv::Point2d c = truth.views[0].corners[k][0];
            const double d = std::hypot(c.x - points[4 * m][0], c.y - points[4 * m][1]);
            if (d < best) best = d, id = static_cast<int>(k);
        }
        EXPECT_LT(best, 2 * kCornerTolerancePx) << "marker " << m;
        return id;
    };
    ASSERT_EQ(withAdaptive.size() % 4, 0u);
    std::set<int> adaptiveIds;
    for (std::size_t m = 0; m < withAdaptive.size() / 4; ++m)
        EXPECT_TRUE(adaptiveIds.insert(trueId(withAdaptive, m)).second) << "found twice: " << m;
    for (std::size_t m = 0; m < sweepOnly.size() / 4; ++m) {
        const int id = trueId(sweepOnly, m);
        EXPECT_EQ(adaptiveIds.count(id), 1u) << "the adaptive pass lost marker " << id;
    }
}

// With --subpixel a projected marker's point is the crossing of its diagonals, the image of
// the pattern square's centre under the projector-board-camera perspective; the corners'
// mean is pulled towards the marker's far side. Both come from the same refined corners.
TEST(TagharvestAccuracy, SubpixelProjectedCentresAreTheDiagonalsCrossing) {
    const SceneTruth truth = loadSceneTruth(sharedScene());
    auto harvest = [](double centre, TempDir* work) {
        prepareWorkDir(sharedScene(), work->path());
        HarvestArgs a;
        a.projection = sharedScene() + "/projection.png";
        a.cameraImages = sharedScene() + "/images/proj%03d.png";
        a.count = kViews;
        a.mode = 1;
        a.centre = centre;
        a.subpixel = true;
        const ProgramResult r =
            runProgram(programPath("tagharvest"), harvestCommandLine(a), work->path());
        EXPECT_EQ(r.status, 0) << r.err;
    };
    TempDir centres, corners;
    harvest(1, &centres);
    harvest(0, &corners);
    cv::Point2d crossingBias, meanBias;
    double crossingSquares = 0, meanSquares = 0;
    int compared = 0;
    for (int v = 0; v < kViews; ++v) {
        char name[64];
        std::snprintf(name, sizeof name, "points/proj2D%03d.txt", v);
        const auto cam = readNumberLines(centres.file(name));
        const auto four = readNumberLines(corners.file(name));
        std::snprintf(name, sizeof name, "points/pattern%03d.txt", v);
        const auto pattern = readNumberLines(centres.file(name));
        ASSERT_EQ(cam.size(), pattern.size());
        if (four.size() != 4 * cam.size()) continue;  // a marker refined in one run only
        for (std::size_t i = 0; i < cam.size(); ++i) {
            int id = -1;
            double best = 1e9;
            for (int k = 0; k < 63; ++k) {
                const double d = cv::norm(truth.views[v].projectedProjector[k] -
                                          cv::Point2d(pattern[i][0], pattern[i][1]));
                if (d < best) best = d, id = k;
            }
            ASSERT_LT(best, 0.01) << "the pattern point is the pattern square's centre";
            const cv::Point2d t = truth.views[v].projectedCamera[id];
            cv::Point2d mean;
            for (int p = 0; p < 4; ++p)
                mean += 0.25 * cv::Point2d(four[4 * i + p][0], four[4 * i + p][1]);
            const cv::Point2d crossing(cam[i][0], cam[i][1]);
            crossingBias += crossing - t;
            meanBias += mean - t;
            crossingSquares += (crossing - t).dot(crossing - t);
            meanSquares += (mean - t).dot(mean - t);
            ++compared;
        }
    }
    ASSERT_GT(compared, kViews * 50);
    crossingBias /= compared;
    meanBias /= compared;
    const double crossingRms = std::sqrt(crossingSquares / compared);
    const double meanRms = std::sqrt(meanSquares / compared);
    std::cout << "projected centres against the truth: diagonals' crossing bias (" << crossingBias
              << ") RMS " << crossingRms << " px; corners' mean bias (" << meanBias << ") RMS "
              << meanRms << " px\n";
    EXPECT_LT(cv::norm(crossingBias), kMaxCentreBiasPx);
    EXPECT_LT(crossingRms, meanRms);
}
