// Choosing a lens model by its error on views it was not fitted to: a richer model is kept
// only when it is well-conditioned over the observed points and clearly lowers that error.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "lens_model.h"
#include "lens_model_kind.h"

struct ViewSet {
    std::vector<int> imageNumbers;
    std::vector<std::vector<cv::Point3f>> board;
    std::vector<std::vector<cv::Point2f>> image;
};

// A model and the iterations its fit may take; its flags and coefficients are the model's.
struct LensCandidate {
    LensModel model = LensModel::kStandard;
    int iterations = 30;
};

// The distortion coefficients a fit of model solves for: OpenCV's five at least (the model
// without distortion holds them at zero through its flags).
int fittedCoefficients(LensModel model);

struct ModelScore {
    LensCandidate candidate;
    double fitRms = 0;        // all views
    double heldOutRms = 0;    // over all points, each view solved through a lens fitted without it
    LensCondition condition;  // over the points observed (plus a margin); validity beyond
    cv::Mat cameraMatrix, distortion;  // fitted on all views
};

// Fits the model to all views and cross-validates it over views: with up to ten views each
// is left out once; with more, ten folds of every tenth view. Needs three views or more.
ModelScore scoreModel(const ViewSet& views, cv::Size imageSize, const LensCandidate& model);

struct ModelChoice {
    LensModel chosen = LensModel::kNone;  // the model kept
    std::string reason;                   // why, in words
    std::vector<ModelScore> scores;
};

// The plain model unless the rich one is well-conditioned and its held-out error is at
// least 10 % lower.
ModelChoice chooseModel(const ModelScore& plain, const ModelScore& rich);

constexpr int kMinViewsToCrossValidate = 3;
