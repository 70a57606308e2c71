// The joint solve on generated rigs with known truth: exactness, honest σ, outliers, refusals.
#include "rig_solve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>

#include "rig_projection.h"
#include "rig_scene.h"
#include "test_support.h"

namespace {
constexpr double kProjectionTolerancePx = 1e-9;
constexpr double kExactTolerancePx = 1e-4;             // intrinsics from noise-free data
constexpr double kExactToleranceDeg = 1e-5;            // R from noise-free data
constexpr double kHonestLow = 0.5, kHonestHigh = 2.0;  // RMS of error / σ over the seeds
// 4 under TOOLKIT_REDUCED_SAMPLE (the sanitizer pass): still 16 or more values per group
int seeds() {
    return reducedSample() ? 4 : 10;
}

// A small rig: quick to solve, still every parameter fixed.
RigSceneSetup smallSetup(unsigned seed) {
    RigSceneSetup setup;
    setup.views = 6;
    setup.boardGrid = {8, 6};
    setup.spacing = 50;
    setup.patternGrid = {15, 11};
    setup.seed = seed;
    return setup;
}

double fx(const RigLens& l) {
    return l.cameraMatrix(0, 0);
}

double angleBetween(const cv::Matx33d& a, const cv::Matx33d& b) {
    cv::Vec3d r;
    cv::Rodrigues(a * b.t(), r);
    return cv::norm(r) * 180 / M_PI;
}

TEST(RigProjection, MatchesOpenCvProjectPoints) {
    const std::vector<std::vector<double>> lenses = {
        {}, {-0.3, 0.12, 0.002, -0.001, -0.02}, {0.2, -0.1, 0.001, 0.002, 0.03, 0.1, -0.05, 0.02}};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (const auto& dist : lenses) {
        double block[kRigIntrinsics] = {700, 690, 310, 250};
        for (int i = kRigLensOffset; i < kRigIntrinsics; ++i) block[i] = 0;
        for (std::size_t i = 0; i < dist.size(); ++i) block[kRigLensOffset + i] = dist[i];
        std::vector<cv::Point3d> points;
        for (int i = 0; i < 50; ++i) points.emplace_back(u(rng), u(rng), 1 + u(rng));
        std::vector<cv::Point2d> expected;
        cv::projectPoints(points, cv::Vec3d(), cv::Vec3d(),
                          cv::Matx33d(700, 0, 310, 0, 690, 250, 0, 0, 1), dist, expected);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double p[3] = {points[i].x, points[i].y, points[i].z};
            double px[2];
            projectThroughLens(block, p, px);
            EXPECT_NEAR(px[0], expected[i].x, kProjectionTolerancePx) << dist.size() << " terms";
            EXPECT_NEAR(px[1], expected[i].y, kProjectionTolerancePx) << dist.size() << " terms";
        }
    }
}

TEST(RigSolve, RecoversExactRigFromMediocreStart) {
    RigSceneSetup setup = smallSetup(1);
    setup.cameraNoisePx = setup.projectedNoisePx = setup.projectorNoisePx = 0;
    const RigScene scene = makeRigScene(setup);
    RigSolution s;
    ASSERT_EQ(solveRig(scene.views, perturbedStart(scene.truth, 1), RigSolveOptions(), &s), 0)
        << s.message;
    EXPECT_NEAR(fx(s.camera), fx(scene.truth.camera), kExactTolerancePx);
    EXPECT_NEAR(fx(s.projector), fx(scene.truth.projector), kExactTolerancePx);
    EXPECT_NEAR(s.projector.cameraMatrix(1, 2), scene.truth.projector.cameraMatrix(1, 2),
                kExactTolerancePx);
    cv::Vec3d r;
    cv::Rodrigues(s.R * scene.truth.R.t(), r);
    EXPECT_LT(cv::norm(r) * 180 / M_PI, kExactToleranceDeg);
    EXPECT_TRUE(s.rejected.empty());
}

// error / σ of every parameter group, collected over seeds.
struct Honesty {
    std::vector<double> z[6];  // camera K, camera lens, projector K, projector lens, T, rotation
    static double rms(const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x * x;
        return std::sqrt(s / v.size());
    }
    void addLens(int g, const RigLens& est, const RigLens& truth, const RigLensSigma& sd) {
        const double e[4] = {est.cameraMatrix(0, 0) - truth.cameraMatrix(0, 0),
                             est.cameraMatrix(1, 1) - truth.cameraMatrix(1, 1),
                             est.cameraMatrix(0, 2) - truth.cameraMatrix(0, 2),
                             est.cameraMatrix(1, 2) - truth.cameraMatrix(1, 2)};
        const double d[4] = {sd.fx, sd.fy, sd.cx, sd.cy};
        for (int i = 0; i < 4; ++i) z[g].push_back(e[i] / d[i]);
        for (std::size_t i = 0; i < est.distortion.size(); ++i)
            z[g + 1].push_back((est.distortion[i] - truth.distortion[i]) / sd.distortion[i]);
    }
};

TEST(RigSolve, SigmaIsHonestOverNoiseSeeds) {
    Honesty h;
    for (int seed = 1; seed <= seeds(); ++seed) {
        const RigScene scene = makeRigScene(smallSetup(seed));
        RigSolution s;
        ASSERT_EQ(solveRig(scene.views, perturbedStart(scene.truth, seed), RigSolveOptions(), &s),
                  0)
            << s.message;
        h.addLens(0, s.camera, scene.truth.camera, s.cameraSigma);
        h.addLens(2, s.projector, scene.truth.projector, s.projectorSigma);
        cv::Vec3d rEst, rTrue;
        cv::Rodrigues(s.R, rEst);
        cv::Rodrigues(scene.truth.R, rTrue);
        for (int i = 0; i < 3; ++i) {
            h.z[4].push_back((s.T[i] - scene.truth.T[i]) / s.sigmaT[i]);
            h.z[5].push_back((rEst[i] - rTrue[i]) * 180 / M_PI / s.sigmaRotationVectorDeg[i]);
        }
    }
    const char* names[6] = {"camera K", "camera lens", "projector K", "projector lens", "T", "R"};
    for (int g = 0; g < 6; ++g) {
        const double rms = Honesty::rms(h.z[g]);
        std::printf("error/σ RMS %-15s %.2f\n", names[g], rms);
        EXPECT_GT(rms, kHonestLow) << names[g];
        EXPECT_LT(rms, kHonestHigh) << names[g];
    }
}
}  // namespace

namespace {
RigSolution solved(const RigScene& scene, unsigned seed, const RigSolveOptions& o = {}) {
    RigSolution s;
    EXPECT_EQ(solveRig(scene.views, perturbedStart(scene.truth, seed), o, &s), 0) << s.message;
    return s;
}

TEST(RigSolve, SigmaShrinksAsOneOverRootViews) {
    constexpr double kLow = 1.5, kHigh = 2.7;  // σ(4 views) / σ(16 views), ideally 2
    RigSceneSetup few = smallSetup(5), many = smallSetup(5);
    few.views = 4;
    many.views = 16;
    const RigSolution a = solved(makeRigScene(few), 5), b = solved(makeRigScene(many), 5);
    const double ratios[] = {
        a.cameraSigma.fx / b.cameraSigma.fx, a.projectorSigma.fx / b.projectorSigma.fx,
        a.sigmaBaseline / b.sigmaBaseline, a.sigmaRotationAngleDeg / b.sigmaRotationAngleDeg};
    for (double r : ratios) {
        std::printf("σ(4 views) / σ(16 views) = %.2f\n", r);
        EXPECT_GT(r, kLow);
        EXPECT_LT(r, kHigh);
    }
}

TEST(RigSolve, RejectsAndNamesGrossErrors) {
    constexpr double kGrossPx = 6;  // 30 σ
    RigScene scene = makeRigScene(smallSetup(7));
    const RigSolution clean = solved(scene, 7);
    // Every 29th board point and every 31st pattern point moved.
    int moved = 0, total = 0;
    for (RigView& v : scene.views) {
        for (std::size_t i = 0; i < v.cameraPoints.size(); i += 29, ++moved)
            v.cameraPoints[i].x += kGrossPx;
        for (std::size_t i = 0; i < v.patternPoints.size(); i += 31, ++moved)
            v.patternPoints[i].y -= kGrossPx;
        total += static_cast<int>(v.boardPoints.size() + v.patternPoints.size());
    }
    const RigSolution s = solved(scene, 7);
    EXPECT_FALSE(s.tooManyRejected) << s.message;
    EXPECT_GE(static_cast<int>(s.rejected.size()), moved);
    EXPECT_LE(static_cast<int>(s.rejected.size()), moved + total / 500);  // false alarms
    int moves = 0;
    for (const RigRejected& r : s.rejected) {
        const bool board = r.group == RigGroup::CameraBoard;
        if ((board && r.index % 29 == 0) || (!board && r.index % 31 == 0)) ++moves;
        EXPECT_GT(r.errorPx, 0);
        EXPECT_EQ(r.imageNumber, scene.views[r.view].imageNumber);
    }
    EXPECT_EQ(moves, moved);
    // The result is the clean one within its σ.
    EXPECT_NEAR(fx(s.camera), fx(clean.camera), 2 * clean.cameraSigma.fx);
    EXPECT_NEAR(s.baseline, clean.baseline, 2 * clean.sigmaBaseline);
    int perView = 0;
    for (int n : s.rejectedPerView) perView += n;
    EXPECT_EQ(perView, static_cast<int>(s.rejected.size()));

    // A tenth of the board points gross: flagged, with the reason.
    for (RigView& v : scene.views)
        for (std::size_t i = 1; i < v.cameraPoints.size(); i += 4) v.cameraPoints[i].y += kGrossPx;
    const RigSolution bad = solved(scene, 7);
    EXPECT_TRUE(bad.tooManyRejected);
    EXPECT_NE(bad.message.find("rejected"), std::string::npos) << bad.message;
}

TEST(RigSolve, GroupsWithDifferentNoiseGetTheirOwnSigma) {
    constexpr double kSigmaTolerance = 0.25;  // relative
    RigSceneSetup setup = smallSetup(9);
    setup.cameraNoisePx = 0.1;
    setup.projectedNoisePx = 0.1;
    setup.projectorNoisePx = 0.4;
    const RigSolution s = solved(makeRigScene(setup), 9);
    // The camera on projected points is told from the projector only by the geometry of the two
    // residuals a free point leaves (two per point, shared): weakly, hence the wider tolerance.
    constexpr double kSharedTolerance = 0.6;
    const double truth[kRigGroups] = {0.1, 0.1, 0.4};
    const double tolerance[kRigGroups] = {kSigmaTolerance, kSharedTolerance, kSigmaTolerance};
    for (int g = 0; g < kRigGroups; ++g) {
        std::printf("group %d: σ %.3f px (truth %.3f)\n", g, s.groupSigma[g], truth[g]);
        EXPECT_NEAR(s.groupSigma[g], truth[g], tolerance[g] * truth[g]) << "group " << g;
    }
}

TEST(RigSolve, ViewsWithOnlyProjectedPointsCount) {
    RigScene scene = makeRigScene(smallSetup(11));
    scene.views[0].boardPoints.clear();
    scene.views[0].cameraPoints.clear();
    scene.views[3].boardPoints.clear();
    scene.views[3].cameraPoints.clear();
    const RigSolution s = solved(scene, 11);
    EXPECT_GT(s.rmsProjectorPerView[0], 0);
    EXPECT_NEAR(fx(s.projector), fx(scene.truth.projector), 4 * s.projectorSigma.fx);
    EXPECT_NEAR(s.baseline, cv::norm(scene.truth.T), 4 * s.sigmaBaseline);
}

TEST(RigSolve, BentBoardIsRecovered) {
    constexpr double kSagMm = 1.5;
    RigSceneSetup setup = smallSetup(13);
    setup.bending = kSagMm;
    const RigScene scene = makeRigScene(setup);
    RigSolveOptions o;
    o.bendingTerms = 1;
    const RigSolution s = solved(scene, 13, o);
    ASSERT_EQ(s.bending.size(), 1u);
    EXPECT_NEAR(s.bending[0], kSagMm, 4 * s.sigmaBending[0]);
    EXPECT_LT(s.sigmaBending[0], kSagMm / 5);
    EXPECT_NEAR(fx(s.camera), fx(scene.truth.camera), 4 * s.cameraSigma.fx);
}

TEST(RigSolve, RefusesWhatItCannotSolve) {
    const RigScene scene = makeRigScene(smallSetup(15));
    struct Case {
        const char* name;
        void (*spoil)(std::vector<RigView>*, RigInitial*, RigSolveOptions*);
    };
    const Case cases[] = {
        {"pose count",
         [](std::vector<RigView>*, RigInitial* i, RigSolveOptions*) { i->rvecs.pop_back(); }},
        {"4 lens terms", [](std::vector<RigView>*, RigInitial* i,
                            RigSolveOptions*) { i->camera.distortion.resize(4); }},
        {"unpaired points", [](std::vector<RigView>* v, RigInitial*,
                               RigSolveOptions*) { (*v)[1].patternInCamera.pop_back(); }},
        {"no projector",
         [](std::vector<RigView>* v, RigInitial*, RigSolveOptions*) {
             for (RigView& x : *v) x.patternPoints.clear(), x.patternInCamera.clear();
         }},
        {"bending 3",
         [](std::vector<RigView>*, RigInitial*, RigSolveOptions* o) { o->bendingTerms = 3; }},
        {"no board markers: no scale",
         [](std::vector<RigView>* v, RigInitial*, RigSolveOptions*) {
             for (RigView& x : *v) x.boardPoints.clear(), x.cameraPoints.clear();
         }},
    };
    for (const Case& c : cases) {
        std::vector<RigView> views = scene.views;
        RigInitial init = perturbedStart(scene.truth, 15);
        RigSolveOptions o;
        c.spoil(&views, &init, &o);
        RigSolution s;
        EXPECT_EQ(solveRig(views, init, o, &s), -1) << c.name;
        EXPECT_FALSE(s.message.empty()) << c.name;
    }
}

TEST(RigSolve, ProjectionSigmaMapGrowsTowardsTheCorners) {
    const RigSolution s = solved(makeRigScene(smallSetup(17)), 17);
    for (bool projector : {false, true}) {
        cv::Mat map;
        std::string message;
        ASSERT_EQ(projectionSigmaMap(s, projector, 550, {9, 7}, &map, &message), 0) << message;
        ASSERT_EQ(map.size(), cv::Size(9, 7));
        const double centre = map.at<double>(3, 4), corner = map.at<double>(0, 0);
        EXPECT_GT(centre, 0);
        EXPECT_GT(corner, centre) << (projector ? "projector" : "camera");
        std::printf("%s σ map: centre %.3f px, corner %.3f px\n",
                    projector ? "projector" : "camera", centre, corner);
    }
    cv::Mat map;
    std::string message;
    EXPECT_EQ(projectionSigmaMap(s, false, 550, {1, 1}, &map, &message), -1);
    EXPECT_EQ(projectionSigmaMap(RigSolution(), false, 550, {9, 7}, &map, &message), -1);
}
}  // namespace

namespace {
// The chain: camera calibrated alone, the projected points back-projected through it onto the
// board, the projector calibrated on those, then the stereo pose with both intrinsics fixed.
struct Chain {
    cv::Mat camK, camD, projK, projD, r, t;
};

Chain chainCalibration(const RigScene& scene) {
    Chain c;
    const cv::Size camSize = scene.truth.camera.imageSize,
                   projSize = scene.truth.projector.imageSize;
    std::vector<std::vector<cv::Point3f>> board, projBoard;
    std::vector<std::vector<cv::Point2f>> image, pattern, seen;
    for (const RigView& v : scene.views) {
        board.emplace_back(v.boardPoints.begin(), v.boardPoints.end());
        image.emplace_back(v.cameraPoints.begin(), v.cameraPoints.end());
    }
    std::vector<cv::Mat> rvecs, tvecs;
    cv::calibrateCamera(board, image, camSize, c.camK, c.camD, rvecs, tvecs);
    for (std::size_t v = 0; v < scene.views.size(); ++v) {
        const RigView& view = scene.views[v];
        std::vector<cv::Point2d> normal;
        cv::undistortPoints(view.patternInCamera, normal, c.camK, c.camD);
        cv::Matx33d rot;
        cv::Rodrigues(rvecs[v], rot);
        const cv::Vec3d o = -(rot.t() * cv::Vec3d(tvecs[v]));
        std::vector<cv::Point3f> pts;
        for (const cv::Point2d& n : normal) {
            const cv::Vec3d d = rot.t() * cv::Vec3d(n.x, n.y, 1);
            const cv::Vec3d b = o + d * (-o[2] / d[2]);
            pts.emplace_back(b[0], b[1], 0);
        }
        projBoard.push_back(pts);
        pattern.emplace_back(view.patternPoints.begin(), view.patternPoints.end());
        seen.emplace_back(view.patternInCamera.begin(), view.patternInCamera.end());
    }
    cv::calibrateCamera(projBoard, pattern, projSize, c.projK, c.projD, rvecs, tvecs);
    cv::Mat e, f;
    cv::stereoCalibrate(projBoard, seen, pattern, c.camK, c.camD, c.projK, c.projD, camSize, c.r,
                        c.t, e, f, cv::CALIB_FIX_INTRINSIC);
    return c;
}

// Figures for the report; on these rigs (the chain's steps are exact too, only noise) the two
// land equally close, so the test asks only that the joint solve stays within 4 σ of the truth.
TEST(RigSolve, JointAndChainSideBySideOnAGeneratedRig) {
    constexpr double kWithinSigma = 4;
    constexpr int kChainSeeds = 3;
    // projector fx, projector cx, |T|, R in degrees
    for (int seed = 1; seed <= kChainSeeds; ++seed) {
        const RigScene scene = makeRigScene(smallSetup(100 + seed));
        const RigInitial& t = scene.truth;
        const Chain c = chainCalibration(scene);
        const RigSolution s = solved(scene, seed);
        const double chain[4] = {c.projK.at<double>(0, 0) - fx(t.projector),
                                 c.projK.at<double>(0, 2) - t.projector.cameraMatrix(0, 2),
                                 cv::norm(c.t) - cv::norm(t.T),
                                 angleBetween(cv::Matx33d(c.r), t.R)};
        const double joint[4] = {fx(s.projector) - fx(t.projector),
                                 s.projector.cameraMatrix(0, 2) - t.projector.cameraMatrix(0, 2),
                                 s.baseline - cv::norm(t.T), angleBetween(s.R, t.R)};
        std::printf(
            "seed %d chain: cam fx %+.3f  proj fx %+.3f cx %+.3f  |T| %+.3f  R %.4f°\n"
            "        joint: cam fx %+.3f ± %.3f  proj fx %+.3f ± %.3f cx %+.3f ± %.3f  "
            "|T| %+.3f ± %.3f  R %.4f° (σ %.4f°)\n",
            seed, c.camK.at<double>(0, 0) - fx(t.camera), chain[0], chain[1], chain[2], chain[3],
            fx(s.camera) - fx(t.camera), s.cameraSigma.fx, joint[0], s.projectorSigma.fx, joint[1],
            s.projectorSigma.cx, joint[2], s.sigmaBaseline, joint[3], s.sigmaRotationAngleDeg);
        const double sigma[4] = {s.projectorSigma.fx, s.projectorSigma.cx, s.sigmaBaseline,
                                 s.sigmaRotationAngleDeg};
        for (int i = 0; i < 4; ++i) EXPECT_LT(std::abs(joint[i]), kWithinSigma * sigma[i]) << i;
    }
}
}  // namespace
