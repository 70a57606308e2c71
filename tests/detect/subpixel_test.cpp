// The opt-in sub-pixel corner mode: accuracy against the truth, never worse than the
// default corners, and the refinement itself on a drawn square.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>

#include "board_consistency.h"
#include "correspondence_folder.h"
#include "harvest_fixture.h"
#include "subpixel_corners.h"

namespace {
constexpr double kMaxCornerRmsPx = 0.08;
constexpr double kMaxWorseningPx = 0.1;
constexpr int kViews = 3;
// A square seen through a strong barrel lens: the lines fitted to its bent edges cross up to
// half a pixel off its corners (at least kMinBendPx); unbent, every corner is within
// kMaxUnbentErrorPx (about the refinement's accuracy on a regularly supersampled drawing).
constexpr double kMinBendPx = 0.3;
constexpr double kMaxUnbentErrorPx = 0.05;

// Detected corners (by view, id and corner) of a camera-mode run.
using Corners = std::map<std::tuple<int, int, int>, cv::Point2d>;

Corners runCamera(const std::string& scene, bool subpixel, const SceneTruth& truth) {
    TempDir work;
    prepareWorkDir(scene, work.path());
    HarvestArgs a;
    a.projection = scene + "/projection.png";
    a.cameraImages = scene + "/images/cam%03d.png";
    a.count = kViews;
    a.subpixel = subpixel;
    const ProgramResult r =
        runProgram(programPath("tagharvest"), harvestCommandLine(a), work.path());
    EXPECT_EQ(r.status, 0) << r.err;
    Corners out;
    for (int v = 0; v < kViews; ++v) {
        const auto p2 = readNumberLines(pointFile(work.file("points"), PointFile::kCameraImage, v));
        const auto p3 = readNumberLines(pointFile(work.file("points"), PointFile::kCameraBoard, v));
        for (std::size_t i = 0; i < p2.size(); ++i) {
            // corner 2 of each marker is its board origin: column and row give the id
            const std::size_t origin = i - i % 4 + 2;
            const int col =
                static_cast<int>(std::lround(p3[origin][0] / (truth.markSize + truth.spaceX)));
            const int row =
                static_cast<int>(std::lround(p3[origin][1] / (truth.markSize + truth.spaceY)));
            out[{v, col * 7 + row, static_cast<int>(i % 4)}] = cv::Point2d(p2[i][0], p2[i][1]);
        }
    }
    return out;
}

struct Comparison {
    double rmsDefault = 0, rmsSubpixel = 0, worstWorsening = -1e9, worstSubpixel = 0;
    int corners = 0;
};

Comparison compare(const std::string& scene) {
    const SceneTruth truth = loadSceneTruth(scene);
    const Corners plain = runCamera(scene, false, truth), refined = runCamera(scene, true, truth);
    Comparison c;
    for (const auto& [key, p] : refined) {
        const auto& [v, id, corner] = key;
        const cv::Point2d t = truth.views[v].corners[id][corner];
        const auto other = plain.find(key);
        if (other == plain.end()) continue;
        const double e = cv::norm(p - t), e0 = cv::norm(other->second - t);
        c.rmsSubpixel += e * e;
        c.rmsDefault += e0 * e0;
        c.worstWorsening = std::max(c.worstWorsening, e - e0);
        c.worstSubpixel = std::max(c.worstSubpixel, e);
        if (e - e0 > 0.08)
            std::cout << "view " << v << " id " << id << " corner " << corner << " truth " << t
                      << " default " << other->second << " refined " << p << "\n";
        ++c.corners;
    }
    c.rmsSubpixel = std::sqrt(c.rmsSubpixel / std::max(1, c.corners));
    c.rmsDefault = std::sqrt(c.rmsDefault / std::max(1, c.corners));
    return c;
}
}  // namespace

TEST(Subpixel, CornersReachATwelfthOfAPixelAndNeverGetWorse) {
    TempDir dir;
    // The default scene's camera: markers of about 45 pixels.
    makeScene(dir.file("scene"), kViews, {"--seed", "21", "--camera", "1280x960"});
    const Comparison c = compare(dir.file("scene"));
    std::cout << "default setting: corner RMS " << c.rmsDefault << " px by default, "
              << c.rmsSubpixel << " px with --subpixel over " << c.corners
              << " corners; worst change " << c.worstWorsening << " px\n";
    EXPECT_GT(c.corners, 0.95 * kViews * 63 * 4);
    EXPECT_LE(c.rmsSubpixel, kMaxCornerRmsPx);
    EXPECT_LE(c.worstWorsening, kMaxWorseningPx);
}

TEST(Subpixel, NoisyBlurredSceneStillGainsAndNeverGetsWorse) {
    TempDir dir;
    makeScene(dir.file("scene"), kViews,
              {"--seed", "22", "--noise", "4", "--blur", "1.0", "--camera", "1280x960"});
    const Comparison c = compare(dir.file("scene"));
    std::cout << "noisy, blurred: corner RMS " << c.rmsDefault << " px by default, "
              << c.rmsSubpixel << " px with --subpixel (worst corner " << c.worstSubpixel
              << " px); worst change " << c.worstWorsening << " px\n";
    EXPECT_LT(c.rmsSubpixel, 0.5 * c.rmsDefault);
    EXPECT_LE(c.worstWorsening, kMaxWorseningPx);
}

TEST(SubpixelRefinement, DrawnSquareFromPerturbedCorners) {
    // A dark square with corners at known sub-pixel positions on a bright surround,
    // drawn with 16 x 16 supersampling.
    const cv::Point2d truth[4] = {{70.3, 68.6}, {30.2, 71.1}, {27.7, 31.4}, {67.9, 28.8}};
    cv::Mat big(100 * 16, 100 * 16, CV_8U, cv::Scalar(230));
    std::vector<cv::Point> poly;
    for (const cv::Point2d& p : truth)
        poly.emplace_back(static_cast<int>((p.x + 0.5) * 16), static_cast<int>((p.y + 0.5) * 16));
    cv::fillConvexPoly(big, poly, cv::Scalar(20));
    cv::Mat grey;
    cv::resize(big, grey, cv::Size(100, 100), 0, 0, cv::INTER_AREA);
    const cv::Point2d start[4] = {{69.4, 67.9}, {31.1, 70.2}, {28.6, 32.3}, {67.0, 29.7}};
    cv::Point2d refined[4];
    ASSERT_TRUE(refineMarkerCorners(grey, start, refined));
    for (int i = 0; i < 4; ++i) EXPECT_LT(cv::norm(refined[i] - truth[i]), 0.08) << i;

    // Nothing to lock onto: the corners stay as they were.
    const cv::Mat flat(100, 100, CV_8U, cv::Scalar(128));
    cv::Point2d untouched[4] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}};
    EXPECT_FALSE(refineMarkerCorners(flat, start, untouched));
    EXPECT_EQ(untouched[0], cv::Point2d(1, 1));
}

// A large series (searched on reduced copies) with a photo that cannot be read: that photo
// is unusable and named, the others are found, with the adaptive pass off and on.
TEST(Subpixel, UnreadableLargePhotoIsUnusableWithAndWithoutTheAdaptivePass) {
    TempDir dir;
    makeScene(dir.file("scene"), 2, {"--camera", "2200x1650", "--seed", "3"});
    const std::string scene = dir.file("scene");
    writeFile(scene + "/images/cam001.png", "not a photo\n");
    for (const int adaptive : {0, 1}) {
        SCOPED_TRACE(adaptive ? "adaptive pass on" : "adaptive pass off");
        TempDir work;
        prepareWorkDir(scene, work.path());
        HarvestArgs a;
        a.projection = scene + "/projection.png";
        a.cameraImages = scene + "/images/cam%03d.png";
        a.count = 2;
        a.adaptive = adaptive;
        a.subpixel = true;
        const ProgramResult r =
            runProgram(programPath("tagharvest"), harvestCommandLine(a), work.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("empty"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("Image num  0 :  OK"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Image num  1 :  NG"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("cam001.png"), std::string::npos) << r.err;
    }
}

TEST(SubpixelRefinement, UnbendingTakesTheLensBendOutOfTheCorners) {
    // A straight dark square, undistorted corners below, drawn through a barrel lens centred
    // in a 320 x 320 image with 8 x 8 supersampling, far off the lens's centre.
    RadialLens lens;
    lens.centre = {160, 160};
    lens.scale = 226;
    lens.k1 = -0.06;
    const cv::Point2d straight[4] = {{292, 262}, {182, 270}, {176, 164}, {286, 156}};
    constexpr int kSub = 6;
    cv::Mat grey(320, 320, CV_8U);
    std::vector<cv::Point2f> square(straight, straight + 4);
    for (int y = 0; y < grey.rows; ++y)
        for (int x = 0; x < grey.cols; ++x) {
            int dark = 0;
            for (int j = 0; j < kSub; ++j)
                for (int i = 0; i < kSub; ++i) {
                    const cv::Point2d u =
                        lens.undistort({x - 0.5 + (i + 0.5) / kSub, y - 0.5 + (j + 0.5) / kSub});
                    dark += cv::pointPolygonTest(square, cv::Point2f(u), false) > 0;
                }
            grey.at<uchar>(y, x) = cv::saturate_cast<uchar>(230 - 210.0 * dark / (kSub * kSub));
        }
    cv::Point2d truth[4], start[4], refined[4];
    for (int i = 0; i < 4; ++i) {
        truth[i] = lens.distort(straight[i]);
        start[i] = truth[i] + cv::Point2d(i % 2 ? 0.8 : -0.7, i / 2 ? 0.6 : -0.9);
    }
    ASSERT_TRUE(refineMarkerCorners(grey, start, refined));
    double bend = 0;
    for (int i = 0; i < 4; ++i) bend = std::max(bend, cv::norm(refined[i] - truth[i]));
    EXPECT_GT(bend, kMinBendPx) << "the lens should bend the edges measurably";
    unbendCorners(lens, refined);
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(cv::norm(refined[i] - truth[i]), kMaxUnbentErrorPx) << "corner " << i;

    // No lens: nothing moves.
    cv::Point2d same[4] = {truth[0], truth[1], truth[2], truth[3]};
    unbendCorners(RadialLens{}, same);
    for (int i = 0; i < 4; ++i) EXPECT_LT(cv::norm(same[i] - truth[i]), 1e-9) << i;
}
