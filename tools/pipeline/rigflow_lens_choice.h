// The lens models a run calibrates with: configured, or chosen (auto) by their errors on
// held-out views of the correspondences as the calibrating program will see them.
#pragma once

#include "model_choice.h"
#include "rigflow_stage.h"

// The camera's correspondences in pointsFolder (relative to workDir); 0 / -1 (*problem says
// which view's files differ in length).
int loadCameraViews(const std::string& workDir, const std::string& pointsFolder, ViewSet* views,
                    std::string* problem);

// camera_model (auto: chosen on the camera's views), recorded in run->results.camera.
StageResult chooseCameraLens(RigflowRun* run, LensModel* model);

// projector_distortion (auto: chosen on the projector views lumenrig will build), recorded
// in run->results.projector.
StageResult chooseProjectorLens(RigflowRun* run, LensModel* model);
