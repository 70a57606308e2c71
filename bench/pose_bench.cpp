// Pose algebra throughput: a chain of composed and inverted transformations.
#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>

#include "pose_algebra.h"
#include "pose_files.h"

static void BM_ComposeAndInvert(benchmark::State& state) {
    const Transform step = poseParamsToMatrix(PoseParams{1, 2, 3, 10, 20, 30});
    const Transform back = invertTransform(step);
    for (auto _ : state) {
        Transform pose = identityTransform();
        for (int i = 0; i < 100; ++i) composeTransform(step, &pose);
        for (int i = 0; i < 100; ++i) composeTransform(back, &pose);
        benchmark::DoNotOptimize(pose);
        // the chain must still cancel while it is timed
        if (std::abs(pose.trans[0]) > 1e-2f) throw std::runtime_error("chain does not cancel");
    }
}
BENCHMARK(BM_ComposeAndInvert);

static void BM_MatrixToPoseParams(benchmark::State& state) {
    const Transform t = poseParamsToMatrix(PoseParams{1, 2, 3, 10, 20, 30});
    for (auto _ : state) benchmark::DoNotOptimize(matrixToPoseParams(t));
}
BENCHMARK(BM_MatrixToPoseParams);
