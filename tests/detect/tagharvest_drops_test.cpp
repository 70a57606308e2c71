// drops.txt: the markers tagharvest dropped, as data in its points folder, one line per
// console note, in image order.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <set>

#include "drops_file.h"
#include "harvest_fixture.h"

namespace {
struct DropsRun {
    ProgramResult result;
    std::vector<MarkerDrop> drops;
};

DropsRun harvestDrops(const std::string& scene, HarvestArgs a,
                      const std::vector<std::string>& options) {
    TempDir work;
    prepareWorkDir(scene, work.path());
    a.projection = scene + "/projection.png";
    a.cameraImages = scene + "/images/cam%03d.png";
    std::vector<std::string> args = options;
    const std::vector<std::string> positional = harvestCommandLine(a);
    args.insert(args.end(), positional.begin(), positional.end());
    DropsRun run;
    run.result = runProgram(programPath("tagharvest"), args, work.path());
    std::string error;
    EXPECT_EQ(readMarkerDrops(work.file(a.output + "/" + kDropsFileName), &run.drops, &error), 0)
        << error;
    return run;
}

// The console's drop notes as drops (a board note's distance as printed, to 0.1 px).
std::vector<MarkerDrop> notedDrops(const std::string& console) {
    static const std::regex note(
        "image ([0-9]+): marker id ([0-9]+) dropped: its (corners lie ([0-9.]+) px|edges)");
    std::vector<MarkerDrop> noted;
    for (std::sregex_iterator m(console.begin(), console.end(), note), end; m != end; ++m) {
        const bool board = (*m)[4].matched;
        noted.push_back({std::stoi((*m)[1]), std::stoi((*m)[2]), board ? "board" : "edges",
                         board ? std::stod((*m)[4]) : 0.0});
    }
    return noted;
}

// notedInPhotoPx: the run searched the photos themselves, so that the notes measure in the
// photo's pixels as drops.txt does.
void expectDropsAsNoted(const DropsRun& run, bool notedInPhotoPx = true) {
    const std::vector<MarkerDrop> noted = notedDrops(run.result.out);
    ASSERT_EQ(run.drops.size(), noted.size()) << run.result.out;
    for (std::size_t i = 0; i < noted.size(); ++i) {
        EXPECT_EQ(run.drops[i].image, noted[i].image);
        EXPECT_EQ(run.drops[i].id, noted[i].id);
        EXPECT_EQ(run.drops[i].reason, noted[i].reason);
        if (notedInPhotoPx) {
            EXPECT_NEAR(run.drops[i].errorPx, noted[i].errorPx, 0.051) << "line " << i;
        }
    }
}

cv::Point2d centreOf(const ViewTruth& truth, int id) {
    const auto& c = truth.corners.at(id);
    return 0.25 * (c[0] + c[1] + c[2] + c[3]);
}

// Exchanges the squares around two markers of the photo (their white rims included):
// each is then sighted at the other's place.
void swapMarkers(const std::string& photoPath, const ViewTruth& truth, int a, int b) {
    cv::Mat photo = cv::imread(photoPath);
    int side = 0;
    for (int id : {a, b}) {
        const auto& c = truth.corners.at(id);
        const cv::Rect box = cv::boundingRect(std::vector<cv::Point2f>{c[0], c[1], c[2], c[3]});
        side = std::max({side, box.width * 5 / 4, box.height * 5 / 4});
    }
    auto square = [&](int id) {
        const cv::Point2d centre = centreOf(truth, id);
        return cv::Rect(static_cast<int>(centre.x) - side / 2,
                        static_cast<int>(centre.y) - side / 2, side, side);
    };
    const cv::Mat first = photo(square(a)).clone();
    photo(square(b)).copyTo(photo(square(a)));
    first.copyTo(photo(square(b)));
    ASSERT_TRUE(cv::imwrite(photoPath, photo));
}
}  // namespace

// Markers 10 and 38 (columns 1 and 5 of the middle row) change places: both disagree with
// the board by about the distance between them (in the photo's pixels, also when the search
// runs on a reduced copy), and are dropped on every path.
TEST(TagharvestDrops, SwappedMarkersAreListedWithTheirDistanceFromTheirPlace) {
    constexpr int kBesideSeam = 45;
    constexpr double kSeamErrorPx = 1.5;
    TempDir dir;
    const std::string scene = dir.file("scene");
    makeScene(scene, 1, {"--camera", "1280x960", "--seed", "19"});
    const SceneTruth truth = loadSceneTruth(scene);
    swapMarkers(scene + "/images/cam000.png", truth.views[0], 10, 38);
    const double apart = cv::norm(centreOf(truth.views[0], 10) - centreOf(truth.views[0], 38));
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int adaptive;
        bool reduced;
    };
    const Case cases[] = {
        {"default", {}, 0, false},
        {"default, adaptive pass", {}, 1, false},
        {"sub-pixel", {"--subpixel"}, 0, false},
        {"sub-pixel, reduced copy", {"--subpixel", "--detect-scale", "0.6"}, 0, true},
        {"sub-pixel, reduced copy, adaptive pass, two jobs",
         {"--subpixel", "--detect-scale", "0.6", "--jobs", "2"},
         1,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HarvestArgs a;
        a.count = 1;
        a.adaptive = c.adaptive;
        const DropsRun run = harvestDrops(scene, a, c.options);
        ASSERT_EQ(run.result.status, 0) << run.result.err;
        expectDropsAsNoted(run, !c.reduced);
        std::set<int> ids;
        std::size_t swappedDrops = 0;
        for (const MarkerDrop& d : run.drops) {
            EXPECT_EQ(d.image, 0);
            EXPECT_EQ(d.reason, "board");
            // Marker 45 stands beside 38: the seam of the square pasted there bends its left
            // edge by up to 0.6 px, so its refined corners lie about a pixel off and may be
            // dropped too, by about the sub-pixel tolerance.
            if (d.id == kBesideSeam && !c.options.empty()) {
                EXPECT_LT(d.errorPx, kSeamErrorPx);
                continue;
            }
            ids.insert(d.id);
            ++swappedDrops;
            EXPECT_NEAR(d.errorPx, apart, 0.2 * apart) << d.id;
        }
        EXPECT_EQ(ids, (std::set<int>{10, 38}));
        // Without the adaptive pass nothing finds them again: one drop each.
        if (c.adaptive == 0) {
            EXPECT_EQ(swappedDrops, 2u);
        }
    }
}

// Hands over the board cut marker edges: with --subpixel those markers are dropped as
// "edges" (the refinement gives no distance), never in the default mode.
TEST(TagharvestDrops, BrokenEdgesAreListedWithoutADistance) {
    TempDir dir;
    const std::string scene = dir.file("scene");
    makeScene(scene, 4, {"--hands", "1", "--seed", "3"});
    HarvestArgs a;
    const DropsRun subpixel = harvestDrops(scene, a, {"--subpixel", "--jobs", "2"});
    ASSERT_EQ(subpixel.result.status, 0) << subpixel.result.err;
    expectDropsAsNoted(subpixel);
    int edges = 0;
    for (std::size_t i = 0; i < subpixel.drops.size(); ++i) {
        const MarkerDrop& d = subpixel.drops[i];
        if (i > 0) {
            EXPECT_LE(subpixel.drops[i - 1].image, d.image) << "in image order";
        }
        if (d.reason != "edges") continue;
        ++edges;
        EXPECT_EQ(d.errorPx, 0.0);
    }
    EXPECT_GE(edges, 1) << subpixel.result.out;

    const DropsRun byDefault = harvestDrops(scene, a, {});
    ASSERT_EQ(byDefault.result.status, 0);
    expectDropsAsNoted(byDefault);
    for (const MarkerDrop& d : byDefault.drops) EXPECT_EQ(d.reason, "board") << d.id;
}

// Nothing dropped: the header alone, in the points folder the run was given.
TEST(TagharvestDrops, ACleanRunWritesTheHeaderAloneIntoItsPointsFolder) {
    TempDir dir;
    std::filesystem::copy(std::string(GOLDEN_DIR) + "/input", dir.file("scene"),
                          std::filesystem::copy_options::recursive);
    TempDir work;
    prepareWorkDir(dir.file("scene"), work.path());
    HarvestArgs a;
    a.projection = dir.file("scene/projection.png");
    a.cameraImages = dir.file("scene/images/cam%03d.png");
    a.count = 2;
    a.output = "out/pairs";
    const ProgramResult r = runHarvest(a, work.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(work.file("out/pairs/drops.txt")), "# image id reason error_px\n");
    EXPECT_FALSE(fileExists(work.file("points/drops.txt")));
}
