// The ground truth of a synthetic scene, truth.yaml: the camera, the projector and the board
// once, then per view the pose, the true corners, the projected centres, the ids hidden by
// hands and the stray printouts.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "scene.h"
#include "scene_rig.h"
#include "scene_shader.h"

// Opens the file and writes what holds for every view. Returns 0, or -1 with *error.
int beginTruth(const std::string& path, const SceneOptions& o, const SceneRig& rig,
               const SceneAssets& assets, cv::FileStorage* truth, std::string* error);

// One view's entry.
void writeViewTruth(const SceneRig& rig, const SceneLayouts& l, const ViewContents& view,
                    cv::FileStorage* truth);

// Closes the list of views and the file.
void endTruth(cv::FileStorage* truth);
