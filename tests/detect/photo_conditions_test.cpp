// tagharvest on photos as users take them, generated with known truth: JPEG, blur that
// grows towards the corners, vignetting, sharpening halos, steep tilts, a cluttered room
// with stray printouts and hands over the board, projector photos with gamma, black level,
// room light and bloom, and 12 and 24 megapixel photos. Whatever the condition, no marker
// is listed with a wrong id, and with --subpixel none with a corner more than 1 px off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "correspondence_folder.h"
#include "harvest_fixture.h"

namespace fs = std::filesystem;

namespace {
constexpr double kMinFoundShare = 0.98;  // of the markers no hand covers
// A listed marker whose centre lies this far from its id's place (px, or a share of the
// marker side when larger) carries a wrong id.
constexpr double kWrongIdPx = 5.0;
constexpr double kWrongIdShareOfSide = 0.3;
constexpr double kMaxCornerErrorPx = 1.0;
const char* const kClutterPhoto = "/usr/share/doc/opencv-doc/examples/data/building.jpg";

struct Condition {
    std::string name;
    std::vector<std::string> scene;  // tagforge scene options
    int views;
    bool projector;
    double maxRms;  // px, of the corners (camera) or the centres (projector), --subpixel
};

void PrintTo(const Condition& c, std::ostream* out) {
    *out << c.name;
}

struct Outcome {
    int visible = 0, foundVisible = 0, listed = 0, wrongIds = 0, offByMoreThanAPixel = 0;
    double rms = 0;
    std::string out;     // console
    std::string report;  // camera_AR_2Dinfo.txt
};

bool contains(const std::vector<int>& ids, int id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string photoPattern(const std::string& scene, bool projector) {
    const std::string ext = fileExists(scene + "/images/cam000.jpg") ? "jpg" : "png";
    return scene + "/images/" + (projector ? "proj" : "cam") + "%03d." + ext;
}

// Where the diagonals of a marker's corners cross: its centre as a homography maps it.
cv::Point2d diagonalCrossing(const std::vector<double>* c) {
    const cv::Point2d a0(c[0][0], c[0][1]), a1(c[1][0], c[1][1]), a2(c[2][0], c[2][1]),
        a3(c[3][0], c[3][1]);
    const cv::Point2d d1 = a2 - a0, d2 = a3 - a1, w = a1 - a0;
    const double det = d1.x * d2.y - d1.y * d2.x;
    return a0 + (w.x * d2.y - w.y * d2.x) / det * d1;
}

// Runs tagharvest on the scene (corner lists) and compares every listed marker with the truth.
Outcome harvest(const std::string& scene, const Condition& c, bool subpixel,
                const std::vector<std::string>& options = {}) {
    const SceneTruth truth = loadSceneTruth(scene);
    TempDir work;
    prepareWorkDir(scene, work.path());
    HarvestArgs a;
    a.projection = scene + "/projection.png";
    a.cameraImages = photoPattern(scene, c.projector);
    a.count = c.views;
    a.mode = c.projector ? 1 : 0;
    a.subpixel = subpixel;
    std::vector<std::string> args = harvestCommandLine(a);
    args.insert(args.begin() + (subpixel ? 1 : 0), options.begin(), options.end());
    const ProgramResult r = runProgram(programPath("tagharvest"), args, work.path());
    EXPECT_EQ(r.status, 0) << r.err;
    Outcome o;
    o.out = r.out + r.err;
    o.report = readFile(
        work.file(std::string(c.projector ? "info/proj" : "info/cam") + "/camera_AR_2Dinfo.txt"));
    double sum = 0;
    int terms = 0;
    for (int v = 0; v < c.views; ++v) {
        const ViewTruth& t = truth.views[v];
        const std::string points = work.file("points");
        const auto p2 = readNumberLines(pointFile(
            points, c.projector ? PointFile::kProjectedImage : PointFile::kCameraImage, v));
        const auto ref = readNumberLines(pointFile(
            points, c.projector ? PointFile::kProjectedPattern : PointFile::kCameraBoard, v));
        std::vector<bool> found(t.corners.size(), false);
        const std::size_t markers = p2.size() / 4;
        for (std::size_t j = 0; j < markers; ++j) {
            int id = 0;
            double worst = 0, centreError = 0;
            const double side = cv::norm(
                cv::Point2d(p2[4 * j][0] - p2[4 * j + 1][0], p2[4 * j][1] - p2[4 * j + 1][1]));
            if (c.projector) {  // the id whose projector centre the pattern line gives
                const cv::Point2d centre(ref[j][0], ref[j][1]);
                for (std::size_t k = 1; k < t.projectedProjector.size(); ++k)
                    if (cv::norm(t.projectedProjector[k] - centre) <
                        cv::norm(t.projectedProjector[id] - centre))
                        id = static_cast<int>(k);
                worst = cv::norm(diagonalCrossing(&p2[4 * j]) - t.projectedCamera[id]);
                centreError = worst;
                sum += worst * worst;
                ++terms;
            } else {  // the id whose board corner 2 (its origin) the 3D lines give
                const int col = static_cast<int>(
                    std::lround(ref[4 * j + 2][0] / (truth.markSize + truth.spaceX)));
                const int row = static_cast<int>(
                    std::lround(ref[4 * j + 2][1] / (truth.markSize + truth.spaceY)));
                id = col * 7 + row;
                const auto& tc = t.corners[id];
                centreError =
                    cv::norm(diagonalCrossing(&p2[4 * j]) - 0.25 * (tc[0] + tc[1] + tc[2] + tc[3]));
                for (int p = 0; p < 4; ++p) {
                    const double e = cv::norm(cv::Point2d(p2[4 * j + p][0], p2[4 * j + p][1]) -
                                              t.corners[id][p]);
                    worst = std::max(worst, e);
                    sum += e * e;
                    ++terms;
                }
            }
            ++o.listed;
            found[id] = true;
            if (centreError > std::max(kWrongIdPx, kWrongIdShareOfSide * side)) ++o.wrongIds;
            if (worst > kMaxCornerErrorPx) ++o.offByMoreThanAPixel;
        }
        const std::vector<int>& hidden = c.projector ? t.hiddenProjected : t.hidden;
        for (std::size_t id = 0; id < found.size(); ++id) {
            if (contains(hidden, static_cast<int>(id))) continue;
            ++o.visible;
            if (found[id]) ++o.foundVisible;
        }
    }
    o.rms = std::sqrt(sum / std::max(1, terms));
    return o;
}

std::string makeConditionScene(const TempDir& dir, const Condition& c) {
    const std::string scene = dir.file("scene");
    std::vector<std::string> args = {"--views", std::to_string(c.views)};
    args.insert(args.end(), c.scene.begin(), c.scene.end());
    const ProgramResult r = generateScene(scene, args, ".");
    EXPECT_EQ(r.status, 0) << r.err;
    return scene;
}

void checkCondition(const Condition& c) {
    TempDir dir;
    const std::string scene = makeConditionScene(dir, c);
    const Outcome sub = harvest(scene, c, true), plain = harvest(scene, c, false);
    std::cout << c.name << ": --subpixel found " << sub.foundVisible << " of " << sub.visible
              << " visible markers, " << (c.projector ? "centre" : "corner") << " RMS " << sub.rms
              << " px; default mode RMS " << plain.rms << " px\n";
    EXPECT_GE(sub.foundVisible, kMinFoundShare * sub.visible) << sub.out;
    EXPECT_EQ(sub.wrongIds, 0) << sub.out;
    EXPECT_EQ(plain.wrongIds, 0) << plain.out;
    EXPECT_EQ(sub.offByMoreThanAPixel, 0) << sub.out;
    EXPECT_LE(sub.rms, c.maxRms);
}

class PhotoCondition : public testing::TestWithParam<Condition> {};

TEST_P(PhotoCondition, MarkersFoundRightOrDroppedWithAReason) {
    checkCondition(GetParam());
}

const std::vector<std::string> kCamera = {"--camera", "1280x960"};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Photos, PhotoCondition,
    testing::Values(
        Condition{"Jpeg3MpBlurred",
                  {"--camera", "2048x1536", "--jpeg", "90", "--blur", "1.5", "--seed", "11"},
                  2,
                  false,
                  0.08},
        Condition{"VignettingAndDefocus",
                  with(kCamera,
                       {"--vignetting", "0.5", "--blur", "0.5", "--defocus", "3", "--seed", "12"}),
                  2, false, 0.08},
        Condition{"PhoneJpegWithHalos",
                  with(kCamera, {"--jpeg", "70", "--sharpen", "0.8", "--seed", "13"}), 2, false,
                  0.08},
        Condition{"SteepTilts", with(kCamera, {"--tilt", "45:60", "--seed", "14"}), 2, false, 0.08},
        Condition{"ClutterStraysAndHands",
                  with(kCamera, {"--clutter", kClutterPhoto, "--strays", "2", "--hands", "1",
                                 "--seed", "15"}),
                  3, false, 0.08},
        Condition{"ProjectorGammaBlackLevelRoomLightBloom",
                  with(kCamera, {"--gamma", "2.2", "--black-level", "0.1", "--room-light", "40",
                                 "--bloom", "0.15", "--seed", "16"}),
                  2, true, 0.08},
        Condition{"ProjectorWithHands", with(kCamera, {"--hands", "1", "--seed", "17"}), 2, true,
                  0.08},
        Condition{"TwelveMegapixels",
                  {"--camera", "4000x3000", "--jpeg", "90", "--blur", "1.5", "--supersampling", "2",
                   "--seed", "18"},
                  1,
                  false,
                  0.15}),
    [](const testing::TestParamInfo<Condition>& info) { return info.param.name; });

// A close-up at 24 MP: markers of about 370 px, beyond the engine's region size.
const Condition kCloseUp{
    "CloseUp24Mp",
    {"--camera", "6000x4000", "--jpeg", "90", "--supersampling", "2", "--seed", "4"},
    1,
    false,
    0.15};

TEST(LargePhotos, CloseUpIsFoundCompletelyOnAReducedCopy) {
    TempDir dir;
    const std::string scene = makeConditionScene(dir, kCloseUp);
    const Outcome sub = harvest(scene, kCloseUp, true);
    std::cout << "24 MP close-up: " << sub.foundVisible << " of 63, corner RMS " << sub.rms
              << " px\n";
    EXPECT_EQ(sub.foundVisible, 63) << sub.out;
    EXPECT_EQ(sub.offByMoreThanAPixel, 0) << sub.out;
    EXPECT_LE(sub.rms, kCloseUp.maxRms);
    EXPECT_NE(sub.out.find("searching reduced copies (scale 0.341333, 2048 x 1365)"),
              std::string::npos)
        << sub.out;

    // A scale set by hand is used as given.
    const Outcome half = harvest(scene, kCloseUp, true, {"--detect-scale", "0.25"});
    EXPECT_NE(half.out.find("searching reduced copies (scale 0.25, 1500 x 1000)"),
              std::string::npos);
    EXPECT_EQ(half.foundVisible, 63);

    // By default the markers are too big, and the run says so and what to do.
    const Outcome plain = harvest(scene, kCloseUp, false);
    EXPECT_EQ(plain.wrongIds, 0);
    EXPECT_NE(plain.out.find("image 0: dark regions larger than the 100000 pixels a marker may "
                             "have cover "),
              std::string::npos)
        << plain.out;
    EXPECT_NE(plain.out.find("run with --subpixel"), std::string::npos);
}

// A printout of a board marker lying beside the board, while the board's own copy of that
// marker is hidden: the only sighting of the id is at a wrong place. Both modes drop it
// and say so; nothing else changes.
TEST(BoardCheck, AMarkerAtAWrongPlaceIsDroppedAndNamed) {
    TempDir dir;
    const Condition c{"Stray", {"--camera", "1280x960", "--seed", "19"}, 1, false, 0.08};
    const std::string scene = makeConditionScene(dir, c);
    const SceneTruth truth = loadSceneTruth(scene);
    const int id = 24;  // a marker in the middle of the board
    const auto& q = truth.views[0].corners[id];
    cv::Mat photo = cv::imread(scene + "/images/cam000.png");
    cv::Rect box = cv::boundingRect(std::vector<cv::Point2f>{q[0], q[1], q[2], q[3]});
    const int grow = box.width / 5;  // the white rim, not the neighbours
    box = cv::Rect(box.x - grow, box.y - grow, box.width + 2 * grow, box.height + 2 * grow);
    const cv::Mat copy = photo(box).clone();
    // The stray printout goes into the top left corner of the photo, left of the board.
    int leftmost = photo.cols;
    for (const auto& corners : truth.views[0].corners)
        for (const cv::Point2d& p : corners) leftmost = std::min(leftmost, static_cast<int>(p.x));
    ASSERT_GT(leftmost, box.width + 4) << "the scene leaves no room beside the board";
    copy.copyTo(photo(cv::Rect(2, 2, box.width, box.height)));
    photo(box).setTo(cv::Scalar(235, 235, 235));
    cv::imwrite(scene + "/images/cam000.png", photo);

    for (const bool subpixel : {true, false}) {
        SCOPED_TRACE(subpixel ? "--subpixel" : "default");
        const Outcome o = harvest(scene, c, subpixel);
        EXPECT_EQ(o.wrongIds, 0) << o.out;
        EXPECT_GE(o.foundVisible, 61);
        EXPECT_NE(o.out.find("image 0: marker id 24 dropped: its corners lie "), std::string::npos)
            << o.out;
        EXPECT_NE(o.out.find("from where the markers around it place it on the board"),
                  std::string::npos);
        EXPECT_NE(o.report.find("image 0: marker id 24 dropped: "), std::string::npos)
            << "the reports name the drop too";
    }
}
}  // namespace
