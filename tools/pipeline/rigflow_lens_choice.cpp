#include "rigflow_lens_choice.h"

#include <iostream>
#include <set>

#include "device_fit.h"
#include "name_pattern.h"
#include "point_files.h"
#include "projector_views.h"

namespace {
void printScores(const std::string& device, const ModelChoice& choice) {
    std::cout << "      " << device << " lens models, RMS error fitted / held out:";
    for (const ModelScore& s : choice.scores)
        std::cout << " " << lensModelName(s.candidate.model) << " " << s.fitRms << " / "
                  << s.heldOutRms << " px;";
    std::cout << " chosen: " << lensModelName(choice.chosen) << "\n      (" << choice.reason << ")"
              << std::endl;
}

// Both models fitted and cross-validated; the plain one kept unless the rich one is
// well-conditioned and clearly better on held-out views. Too few views keep the plain one.
ModelChoice chooseBetween(const std::string& device, const ViewSet& views, cv::Size size,
                          const LensCandidate& plain, const LensCandidate& rich) {
    if (static_cast<int>(views.board.size()) < kMinViewsToCrossValidate) {
        ModelChoice choice;
        choice.chosen = plain.model;
        choice.reason = "too few views (" + std::to_string(views.board.size()) +
                        ") to compare models on held-out views";
        return choice;
    }
    ModelChoice choice = chooseModel(scoreModel(views, size, plain), scoreModel(views, size, rich));
    printScores(device, choice);
    return choice;
}

void recordChoice(const ModelChoice& choice, const std::string& how, DeviceResult* d) {
    d->model = lensModelName(choice.chosen);
    d->modelReason = how + (choice.reason.empty() ? "" : ": " + choice.reason);
    for (const ModelScore& s : choice.scores) {
        d->heldOutRms.emplace_back(lensModelName(s.candidate.model), s.heldOutRms);
        if (s.candidate.model != choice.chosen) continue;
        d->dataRadius = s.condition.dataRadius;
        d->validRadius = s.condition.validRadius;
        d->wholeImage = s.condition.wholeImage;
        d->validityLimit = s.condition.limit;
    }
}

// The projector views as lumenrig will build them from the points it is given.
int loadProjectorViews(const RigflowRun& run, ViewSet* views, std::string* problem) {
    const Layout& l = run.layout;
    const std::string& w = run.workDir;
    const std::string camPoints = run.config.undistort ? l.undistorted : l.pointsCam;
    const std::string projPoints = run.config.undistort ? l.undistorted : l.pointsProj;
    ViewSet camera;
    if (loadCameraViews(w, l.pointsCam, &camera, problem) != 0) return -1;
    for (std::size_t i = 0; i < camera.imageNumbers.size(); ++i)
        camera.image[i] = loadPointFile2(
            inWorkDir(w, numberedName(camPoints, "/cam2D", camera.imageNumbers[i], ".txt")));
    std::vector<ProjectedView> projected;
    const std::set<int> cameraNumbers(camera.imageNumbers.begin(), camera.imageNumbers.end());
    for (int n : loadTrueNumbers(inWorkDir(w, trueNumberFile(l, true))))
        if (cameraNumbers.count(n))  // the others are not read: lumenrig leaves them out
            projected.push_back(
                {n, loadPointFile2(inWorkDir(w, numberedName(projPoints, "/proj2D", n, ".txt"))),
                 loadPointFile2(inWorkDir(w, numberedName(l.pointsProj, "/pattern", n, ".txt")))});
    *views = projectorViews(camera, run.plan.cameraSize, projected);
    return 0;
}
}  // namespace

int loadCameraViews(const std::string& w, const std::string& folder, ViewSet* v,
                    std::string* problem) {
    v->imageNumbers = loadTrueNumbers(inWorkDir(w, folder + "/cam_true_num.txt"));
    for (int n : v->imageNumbers) {
        v->image.push_back(loadPointFile2(inWorkDir(w, numberedName(folder, "/cam2D", n, ".txt"))));
        v->board.push_back(loadPointFile3(inWorkDir(w, numberedName(folder, "/cam3D", n, ".txt"))));
        if (v->image.back().size() != v->board.back().size()) {
            *problem = "camera image " + std::to_string(n) +
                       ": the 2D and 3D point files differ in length";
            return -1;
        }
    }
    return 0;
}

StageResult chooseCameraLens(RigflowRun* run, LensModel* model) {
    const RigflowConfig& c = run->config;
    ModelChoice choice;
    if (c.camera_model != "auto") {
        lensModelFromName(c.camera_model, &choice.chosen);
        recordChoice(choice, "camera_model = " + c.camera_model, &run->results.camera);
        *model = choice.chosen;
        return {};
    }
    ViewSet views;
    std::string problem;
    if (loadCameraViews(run->workDir, run->layout.pointsCam, &views, &problem) != 0)
        return inputError(problem);
    choice = chooseBetween("camera", views, run->plan.cameraSize,
                           {LensModel::kStandard, c.camera_iterations},
                           {LensModel::kRational, c.camera_iterations});
    recordChoice(choice, "auto", &run->results.camera);
    *model = choice.chosen;
    return {};
}

StageResult chooseProjectorLens(RigflowRun* run, LensModel* model) {
    const int mode = run->config.projector_distortion;
    ModelChoice choice;
    if (mode != kAutoDistortion) {
        lensModelFromLumenrigMode(mode, &choice.chosen);
        recordChoice(choice, "projector_distortion = " + std::to_string(mode),
                     &run->results.projector);
        *model = choice.chosen;
        return {};
    }
    ViewSet views;
    std::string problem;
    if (loadProjectorViews(*run, &views, &problem) != 0) return inputError(problem);
    choice = chooseBetween("projector", views, run->plan.projectorSize,
                           {LensModel::kNone, kCalibrationIterations},
                           {LensModel::kStandard, kCalibrationIterations});
    recordChoice(choice, "auto", &run->results.projector);
    *model = choice.chosen;
    return {};
}
