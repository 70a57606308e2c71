#include "rigflow_calibrate_camera.h"

#include "point_files.h"
#include "rigflow_lens_choice.h"
#include "rigflow_results.h"
#include "rigflow_steps.h"
#include "rigflow_swap_check.h"
#include "view_checks.h"

StageResult requireCalibrationViews(RigflowRun* run, const std::string& device, int views,
                                    int tried) {
    if (views >= kMinViews) return {};
    checkDetection(device, views, tried, 1.0, run->config, &run->findings);
    if (!anyFailed(run->findings))
        run->findings.push_back({true,
                                 device + " views: " + std::to_string(views) +
                                     " usable; a calibration needs at least " +
                                     std::to_string(kMinViews),
                                 "take more poses"});
    return {StageStatus::kChecksFailed, ""};
}

StageResult calibrateCamera(RigflowRun* run) {
    const RigflowConfig& c = run->config;
    const Layout& l = run->layout;
    const int given =
        static_cast<int>(loadTrueNumbers(inWorkDir(run->workDir, trueNumberFile(l, false))).size());
    StageResult result = requireCalibrationViews(
        run, "camera", given, run->plan.detectCamera ? viewsTried(run->plan.series) : given);
    if (!done(result)) return result;
    LensModel model = LensModel::kStandard;
    result = chooseCameraLens(run, &model);
    if (!done(result)) return result;
    result = runProgramStep(run, lensrigStep(c, l, run->plan.cameraSize, model));
    if (!done(result)) return result;
    collectCamera(run->workDir, l, l.camera + "/lensrig_results.yaml", &run->results);
    run->results.camera.model = lensModelName(model);
    if (!run->plan.detectCamera) {
        // Given correspondences had no detection step to count their views.
        const int views = static_cast<int>(run->results.camera.imageNumbers.size());
        checkDetection("camera", views, views, 1.0, c, &run->findings);
    }
    checkCalibration("camera", run->results.camera, false, c, &run->findings);
    if (!anyFailed(run->findings)) return {};
    diagnoseSwappedSeries(run);
    writeResults(run);
    return {StageStatus::kChecksFailed, ""};
}
