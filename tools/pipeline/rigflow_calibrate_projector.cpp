#include "rigflow_calibrate_projector.h"

#include <algorithm>

#include "point_files.h"
#include "rigflow_calibrate_camera.h"
#include "rigflow_lens_choice.h"
#include "rigflow_steps.h"

StageResult calibrateProjector(RigflowRun* run) {
    const RigflowConfig& c = run->config;
    const Layout& l = run->layout;
    const Plan& p = run->plan;
    StageResult result;
    if (c.undistort)
        for (const ProgramStep& step : warpdotsSteps(l)) {
            result = runProgramStep(run, step);
            if (!done(result)) return result;
        }
    Results& r = run->results;
    r.projector.size = p.projectorSize;
    LensModel model = LensModel::kNone;
    result = chooseProjectorLens(run, &model);
    if (!done(result)) return result;
    const std::vector<int> cam = loadTrueNumbers(inWorkDir(run->workDir, trueNumberFile(l, false)));
    int paired = 0;
    for (int n : loadTrueNumbers(inWorkDir(run->workDir, trueNumberFile(l, true))))
        paired += std::count(cam.begin(), cam.end(), n) > 0;
    result = requireCalibrationViews(run, "projector", paired, static_cast<int>(cam.size()));
    if (!done(result)) return result;
    result = runProgramStep(run, lumenrigStep(c, l, p.cameraSize, p.projectorSize, model));
    if (!done(result)) return result;
    collectProjector(run->workDir, l, c, l.projector + "/lumenrig_results.yaml", &r);
    r.stereo.cameraModel = c.undistort ? "pinhole on the camera points undistorted with the " +
                                             r.camera.model + " lens model"
                                       : "pinhole on the raw camera points";
    const int views = static_cast<int>(r.projector.imageNumbers.size());
    checkDetection("projector", views, static_cast<int>(r.camera.imageNumbers.size()), 1.0, c,
                   &run->findings);
    checkCalibration("projector", r.projector, true, c, &run->findings);
    checkStereoRms(r, c, &run->findings);
    return {};
}

void checkStereoRms(const Results& r, const RigflowConfig& c, std::vector<Finding>* findings) {
    if (!(r.stereo.rms <= c.max_rms))
        findings->push_back(
            {true,
             "stereo RMS reprojection error " + std::to_string(r.stereo.rms) +
                 " px, max_rms = " + std::to_string(c.max_rms),
             "the board moved between the camera and the projector photo of a pose, or the "
             "two series do not show the same poses under the same numbers"});
}
