// The joint rig solve on a scene the size of the demo: 12 views, 252 board corners each
// (63 markers x 4), and a projected pattern; the solve should take well under a few seconds.
#include <benchmark/benchmark.h>

#include "rig_scene.h"

namespace {
void BM_SolveRigDemoSize(benchmark::State& state) {
    RigSceneSetup setup;
    setup.views = 12;
    setup.boardGrid = {18, 14};  // 252 points
    setup.spacing = 22;
    setup.patternGrid = {25, 19};
    const RigScene scene = makeRigScene(setup);
    const RigInitial start = perturbedStart(scene.truth, 1);
    for (auto _ : state) {
        RigSolution s;
        if (solveRig(scene.views, start, RigSolveOptions(), &s) != 0 || s.tooManyRejected) {
            state.SkipWithError(s.message.c_str());
            break;
        }
        // Sanity while timed: the projector's focal length within 5 σ of the truth.
        if (std::abs(s.projector.cameraMatrix(0, 0) - scene.truth.projector.cameraMatrix(0, 0)) >
            5 * s.projectorSigma.fx) {
            state.SkipWithError("projector focal length off the truth");
            break;
        }
        state.counters["iterations"] = s.iterations;
    }
}
BENCHMARK(BM_SolveRigDemoSize)->Unit(benchmark::kMillisecond)->Iterations(3);
}  // namespace

BENCHMARK_MAIN();
