#include "model_choice.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <sstream>

static_assert(kNoDistortionFlags == (cv::CALIB_ZERO_TANGENT_DIST | cv::CALIB_FIX_K1 |
                                     cv::CALIB_FIX_K2 | cv::CALIB_FIX_K3));
static_assert(kCalibRationalModel == cv::CALIB_RATIONAL_MODEL);

namespace {
constexpr int kMaxFolds = 10;
constexpr double kClearGain = 0.9;    // the rich model must reach 90 % of the plain one's error
constexpr double kImageMargin = 0.1;  // of the corner radius: how far validity is traced

struct Fit {
    cv::Mat k, d;
    double rms = 0;
};

Fit fit(const ViewSet& v, const std::vector<int>& use, cv::Size size, const LensCandidate& model) {
    std::vector<std::vector<cv::Point3f>> board;
    std::vector<std::vector<cv::Point2f>> image;
    for (int i : use) {
        board.push_back(v.board[i]);
        image.push_back(v.image[i]);
    }
    const int coefficients = fittedCoefficients(model.model);
    Fit f;
    f.d = cv::Mat::zeros(1, coefficients, CV_64F);
    std::vector<cv::Mat> rvecs, tvecs;
    f.rms = cv::calibrateCamera(board, image, size, f.k, f.d, rvecs, tvecs,
                                lensModelTraits(model.model).calibrationFlags,
                                cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
                                                 model.iterations, DBL_EPSILON));
    f.d = f.d.reshape(1, 1).colRange(0, coefficients).clone();
    return f;
}

std::string figure(double v) {
    std::ostringstream s;
    s.precision(3);
    s << v;
    return s.str();
}

std::string px(double v) {
    std::ostringstream s;
    s.precision(4);
    s << v << " px";
    return s.str();
}
}  // namespace

int fittedCoefficients(LensModel model) {
    return std::max(5, coefficientCount(model));
}

ModelScore scoreModel(const ViewSet& v, cv::Size size, const LensCandidate& model) {
    ModelScore score;
    score.candidate = model;
    const int views = static_cast<int>(v.board.size());
    std::vector<int> all(views);
    for (int i = 0; i < views; ++i) all[i] = i;
    const Fit whole = fit(v, all, size, model);
    score.fitRms = whole.rms;
    score.cameraMatrix = whole.k;
    score.distortion = whole.d;
    double dataRadius = 0;
    for (const std::vector<cv::Point2f>& image : v.image)
        dataRadius = std::max(dataRadius, normalisedReach(image, whole.k));
    score.condition = lensCondition(whole.k, whole.d, size, kImageMargin, dataRadius);

    const int folds = std::min(views, kMaxFolds);
    double squares = 0;
    std::size_t count = 0;
    for (int f = 0; f < folds; ++f) {
        std::vector<int> train, test;
        for (int i = 0; i < views; ++i) (i % folds == f ? test : train).push_back(i);
        const Fit part = fit(v, train, size, model);
        for (int i : test) {
            cv::Mat rvec, tvec;
            cv::solvePnP(v.board[i], v.image[i], part.k, part.d, rvec, tvec);
            std::vector<cv::Point2f> projected;
            cv::projectPoints(v.board[i], rvec, tvec, part.k, part.d, projected);
            for (std::size_t p = 0; p < projected.size(); ++p) {
                const cv::Point2f e = projected[p] - v.image[i][p];
                squares += e.x * e.x + e.y * e.y;
            }
            count += projected.size();
        }
    }
    score.heldOutRms = count ? std::sqrt(squares / count) : 0.0;
    return score;
}

ModelChoice chooseModel(const ModelScore& plain, const ModelScore& rich) {
    ModelChoice c;
    c.scores = {plain, rich};
    const std::string p = lensModelName(plain.candidate.model);
    const std::string r = lensModelName(rich.candidate.model);
    if (!std::isfinite(plain.heldOutRms) || !std::isfinite(rich.heldOutRms)) {
        // inf <= inf would pass for a gain: models without a held-out figure are not compared.
        c.chosen = plain.candidate.model;
        c.reason = "the held-out error of the " + (std::isfinite(plain.heldOutRms) ? r : p) +
                   " model could not be evaluated (its fit on part of the views failed), so the "
                   "models are not compared";
    } else if (!rich.condition.ok) {
        c.chosen = plain.candidate.model;
        c.reason = "the " + r +
                   " model is ill-conditioned over the observed points: " + rich.condition.reason;
    } else if (!(rich.heldOutRms <= kClearGain * plain.heldOutRms)) {
        c.chosen = plain.candidate.model;
        c.reason = "the " + r + " model does not lower the held-out error by 10 % (" +
                   px(rich.heldOutRms) + " against " + px(plain.heldOutRms) + ")";
    } else {
        c.chosen = rich.candidate.model;
        c.reason = "the " + r + " model is well-conditioned and lowers the held-out error from " +
                   px(plain.heldOutRms) + " to " + px(rich.heldOutRms);
        if (!rich.condition.wholeImage)
            c.reason += "; it holds out to normalised radius " +
                        figure(rich.condition.validRadius) + " (the data reach " +
                        figure(rich.condition.dataRadius) + "): " + rich.condition.limit;
    }
    return c;
}
