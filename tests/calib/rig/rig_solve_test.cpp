// The joint solve on generated rigs with known truth: exactness, honest σ, outliers, refusals.
#include "rig_solve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>

#include "rig_projection.h"
#include "rig_scene.h"

namespace {
constexpr double kProjectionTolerancePx = 1e-9;
constexpr double kExactTolerancePx = 1e-4;             // intrinsics from noise-free data
constexpr double kExactToleranceDeg = 1e-5;            // R from noise-free data
constexpr double kHonestLow = 0.5, kHonestHigh = 2.0;  // RMS of error / σ over the seeds
constexpr int kSeeds = 10;

// A small rig: quick to solve, still every parameter fixed.
RigSceneSpec smallSpec(unsigned seed) {
    RigSceneSpec spec;
    spec.views = 6;
    spec.boardGrid = {8, 6};
    spec.spacing = 50;
    spec.patternGrid = {15, 11};
    spec.seed = seed;
    return spec;
}

double fx(const RigLens& l) {
    return l.cameraMatrix(0, 0);
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
    RigSceneSpec spec = smallSpec(1);
    spec.cameraNoisePx = spec.projectedNoisePx = spec.projectorNoisePx = 0;
    const RigScene scene = makeRigScene(spec);
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
    for (int seed = 1; seed <= kSeeds; ++seed) {
        const RigScene scene = makeRigScene(smallSpec(seed));
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
