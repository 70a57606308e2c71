// Choosing a lens model by its error on views it was not fitted to: a richer model is kept
// only when it is well-conditioned over the observed points and clearly lowers that error.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "lens_model.h"

struct ViewSet {
    std::vector<int> imageNumbers;
    std::vector<std::vector<cv::Point3f>> board;
    std::vector<std::vector<cv::Point2f>> image;
};

struct LensCandidate {
    std::string name;  // "standard", "rational", "none"
    int flags = 0;     // cv::calibrateCamera flags
    int coefficients = 5;
    int iterations = 30;
};

struct ModelScore {
    LensCandidate model;
    double fitRms = 0;        // all views
    double heldOutRms = 0;    // over all points, each view solved through a lens fitted without it
    LensCondition condition;  // over the points observed (plus a margin); validity beyond
    cv::Mat cameraMatrix, distortion;  // fitted on all views
};

// Fits the model to all views and cross-validates it over views: with up to ten views each
// is left out once; with more, ten folds of every tenth view. Needs three views or more.
ModelScore scoreModel(const ViewSet& views, cv::Size imageSize, const LensCandidate& model);

struct ModelChoice {
    std::string chosen;  // name of the model kept
    std::string reason;  // why, in words
    std::vector<ModelScore> scores;
};

// The plain model unless the rich one is well-conditioned and its held-out error is at
// least 10 % lower.
ModelChoice chooseModel(const ModelScore& plain, const ModelScore& rich);

constexpr int kMinViewsToCrossValidate = 3;
