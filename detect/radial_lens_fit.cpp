#include "radial_lens_fit.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>

namespace {
// Rounds of the alternation between the homography and k1, k2: it gains little after these.
constexpr int kAlternationRounds = 8;
// |k1|, |k2| beyond this after the alternation is a runaway, not a lens: no distortion then.
constexpr double kMaxAlternatedTerm = 1.0;
// Pairs this far off the first fit (px), or kOutlierMedianFactor times the median when
// larger, are left out of the second: a shared error is not an outlier.
constexpr double kLensOutlierPx = 0.5;
constexpr double kOutlierMedianFactor = 3.0;

// The joint refinement's unknowns: the homography (8, h33 = 1), k1, k2, k3 and the centre.
constexpr int kHomographyParams = 8;
constexpr int kK1 = 8, kK2 = 9, kK3 = 10, kCentreX = 11, kCentreY = 12;
constexpr int kParams = 13;
constexpr int kMaxIterations = 20;
constexpr double kSettledShare = 1e-4;  // an iteration that gains less ends the fit
// Levenberg-Marquardt's damping: its start, the factor it moves by, and its floor; the
// damping is raised this many times before an iteration gives up.
constexpr double kInitialDamping = 1e-3;
constexpr double kDampingFactor = 10;
constexpr double kMinDamping = 1e-9;
constexpr int kMaxDampingRaises = 8;
constexpr double kMinCurvature = 1e-12;  // keeps the damping of an unconstrained term alive
// Forward-difference step of the numeric Jacobian, relative to the unknown (at least 1):
// near the square root of the double precision.
constexpr double kJacobianStep = 1e-6;
// A refined term beyond this, or a centre moved more than this share of the half diagonal,
// is a fit the points do not hold (a real lens's centre is off by a few percent).
constexpr double kMaxRefinedTerm = 2.0;
constexpr double kMaxCentreShift = 0.15;
// Smallest over largest spread of the points a lens is fitted to: below it they lie on a line.
constexpr double kMinSpreadRatio = 1e-9;

// The refinement's pairs and the lens it starts from (its scale stays).
struct LensProblem {
    const std::vector<cv::Point2d>& ref;
    const std::vector<cv::Point2d>& image;
    RadialLens start;
};

RadialLens withParams(const LensProblem& problem, const double* v) {
    RadialLens l = problem.start;
    l.k1 = v[kK1];
    l.k2 = v[kK2];
    l.k3 = v[kK3];
    l.centre = cv::Point2d(v[kCentreX], v[kCentreY]);
    return l;
}

// Photo point minus prediction (homography v then the lens of v), x and y per pair.
void residuals(const LensProblem& problem, const double* v, cv::Mat* r) {
    const RadialLens lens = withParams(problem, v);
    const int n = static_cast<int>(problem.ref.size());
    r->create(2 * n, 1, CV_64F);
    for (int i = 0; i < n; ++i) {
        const cv::Point2d q = problem.ref[i];
        const double w = v[6] * q.x + v[7] * q.y + 1;
        const cv::Point2d p = lens.distort(cv::Point2d((v[0] * q.x + v[1] * q.y + v[2]) / w,
                                                       (v[3] * q.x + v[4] * q.y + v[5]) / w));
        r->at<double>(2 * i) = p.x - problem.image[i].x;
        r->at<double>(2 * i + 1) = p.y - problem.image[i].y;
    }
}

void numericJacobian(const LensProblem& problem, const double* x, const cv::Mat& r, cv::Mat* j) {
    for (int k = 0; k < kParams; ++k) {
        double moved[kParams];
        std::copy(x, x + kParams, moved);
        const double step = kJacobianStep * std::max(1.0, std::fabs(x[k]));
        moved[k] += step;
        cv::Mat rk;
        residuals(problem, moved, &rk);
        j->col(k) = (rk - r) / step;
    }
}

struct LmState {
    double x[kParams];
    cv::Mat r;
    double cost = 0, damping = kInitialDamping;
    bool settled = false;
};

// One Levenberg-Marquardt iteration: the damping rises until a step lowers the squared error,
// and only such a step is taken.
void dampedIteration(const LensProblem& problem, const cv::Mat& j, LmState* s) {
    const cv::Mat jtj = j.t() * j, jtr = j.t() * s->r;
    for (int attempt = 0; attempt < kMaxDampingRaises; ++attempt) {
        cv::Mat a = jtj.clone(), delta;
        for (int k = 0; k < kParams; ++k)
            a.at<double>(k, k) += s->damping * std::max(jtj.at<double>(k, k), kMinCurvature);
        if (!cv::solve(a, -jtr, delta, cv::DECOMP_SVD)) return;
        double next[kParams];
        for (int k = 0; k < kParams; ++k) next[k] = s->x[k] + delta.at<double>(k);
        cv::Mat rn;
        residuals(problem, next, &rn);
        const double c = rn.dot(rn);
        if (std::isfinite(c) && c < s->cost) {
            std::copy(next, next + kParams, s->x);
            s->r = rn;
            s->settled = c > (1 - kSettledShare) * s->cost;
            s->cost = c;
            s->damping = std::max(s->damping / kDampingFactor, kMinDamping);
            return;
        }
        s->damping *= kDampingFactor;
    }
}

// Homography and distortion together from the alternation's result (which approaches the
// joint optimum slowly).
RadialLens refineLens(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                      RadialLens lens) {
    std::vector<cv::Point2d> undistorted;
    for (const cv::Point2d& p : image) undistorted.push_back(lens.undistort(p));
    cv::Mat h0 = cv::findHomography(ref, undistorted, 0);
    if (h0.empty()) return lens;
    h0 /= h0.at<double>(2, 2);
    const LensProblem problem{ref, image, lens};
    LmState s;
    for (int k = 0; k < kHomographyParams; ++k) s.x[k] = h0.at<double>(k / 3, k % 3);
    s.x[kK1] = lens.k1;
    s.x[kK2] = lens.k2;
    s.x[kK3] = 0;
    s.x[kCentreX] = lens.centre.x;
    s.x[kCentreY] = lens.centre.y;
    cv::Mat j(2 * static_cast<int>(ref.size()), kParams, CV_64F);
    residuals(problem, s.x, &s.r);
    s.cost = s.r.dot(s.r);
    for (int iteration = 0; iteration < kMaxIterations && !s.settled; ++iteration) {
        numericJacobian(problem, s.x, s.r, &j);
        dampedIteration(problem, j, &s);
    }
    const cv::Point2d shift = cv::Point2d(s.x[kCentreX], s.x[kCentreY]) - lens.centre;
    for (int k = kK1; k < kParams; ++k)
        if (!std::isfinite(s.x[k])) return lens;
    if (std::fabs(s.x[kK1]) > kMaxRefinedTerm || std::fabs(s.x[kK2]) > kMaxRefinedTerm ||
        std::fabs(s.x[kK3]) > kMaxRefinedTerm || cv::norm(shift) > kMaxCentreShift * lens.scale)
        return lens;
    return withParams(problem, s.x);
}

// Alternates a homography of the undistorted points and the two distortion terms for that
// homography (linear in them) over the given point pairs, then refines them together.
RadialLens fitLensOnce(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                       cv::Size photo) {
    RadialLens lens = neutralLens(photo);
    for (int round = 0; round < kAlternationRounds; ++round) {
        std::vector<cv::Point2d> undistorted, predicted;
        for (const cv::Point2d& p : image) undistorted.push_back(lens.undistort(p));
        const cv::Mat h = cv::findHomography(ref, undistorted, 0);
        if (h.empty()) return neutralLens(photo);
        cv::perspectiveTransform(ref, predicted, h);
        cv::Mat a(2 * static_cast<int>(ref.size()), 2, CV_64F), b(a.rows, 1, CV_64F), k;
        for (std::size_t i = 0; i < ref.size(); ++i) {
            const cv::Point2d d = predicted[i] - lens.centre;
            const double r2 = d.dot(d) / (lens.scale * lens.scale);
            const int row = 2 * static_cast<int>(i);
            a.at<double>(row, 0) = d.x * r2;
            a.at<double>(row, 1) = d.x * r2 * r2;
            a.at<double>(row + 1, 0) = d.y * r2;
            a.at<double>(row + 1, 1) = d.y * r2 * r2;
            b.at<double>(row) = image[i].x - predicted[i].x;
            b.at<double>(row + 1) = image[i].y - predicted[i].y;
        }
        if (!cv::solve(a, b, k, cv::DECOMP_SVD)) break;
        lens.k1 = k.at<double>(0);
        lens.k2 = k.at<double>(1);
        if (!std::isfinite(lens.k1) || !std::isfinite(lens.k2) ||
            std::fabs(lens.k1) > kMaxAlternatedTerm || std::fabs(lens.k2) > kMaxAlternatedTerm)
            return neutralLens(photo);
    }
    return refineLens(ref, image, lens);
}

// False when the points lie on a line (or at one point): their spread has no second axis.
bool spansPlane(const std::vector<cv::Point2d>& points) {
    cv::Mat covar, mean, spread;
    cv::calcCovarMatrix(cv::Mat(points).reshape(1), covar, mean, cv::COVAR_NORMAL | cv::COVAR_ROWS);
    cv::eigen(covar, spread);  // largest first
    return spread.at<double>(0) > 0 &&
           spread.at<double>(1) > kMinSpreadRatio * spread.at<double>(0);
}
}  // namespace

RadialLens neutralLens(cv::Size photo) {
    RadialLens lens;
    lens.centre = cv::Point2d(photo.width / 2.0, photo.height / 2.0);
    lens.scale = 0.5 * std::hypot(photo.width, photo.height);
    return lens;
}

int fitRadialLens(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                  cv::Size photo, RadialLens* lens) {
    *lens = neutralLens(photo);
    if (ref.size() != image.size() || ref.size() < static_cast<std::size_t>(kMinLensPairs) ||
        photo.width <= 0 || photo.height <= 0 || !spansPlane(ref) || !spansPlane(image))
        return -1;
    const RadialLens first = fitLensOnce(ref, image, photo);
    *lens = first;
    std::vector<cv::Point2d> undistorted, mapped;
    for (const cv::Point2d& p : image) undistorted.push_back(first.undistort(p));
    const cv::Mat h = cv::findHomography(ref, undistorted, 0);
    if (h.empty()) return 0;
    cv::perspectiveTransform(ref, mapped, h);
    std::vector<double> off;
    for (std::size_t i = 0; i < ref.size(); ++i)
        off.push_back(cv::norm(first.distort(mapped[i]) - image[i]));
    std::vector<double> sorted = off;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double limit = std::max(kLensOutlierPx, kOutlierMedianFactor * sorted[sorted.size() / 2]);
    std::vector<cv::Point2d> keptRef, keptImage;
    for (std::size_t i = 0; i < ref.size(); ++i)
        if (off[i] <= limit) {
            keptRef.push_back(ref[i]);
            keptImage.push_back(image[i]);
        }
    if (keptRef.size() == ref.size() || keptRef.size() < ref.size() / 2) return 0;
    *lens = fitLensOnce(keptRef, keptImage, photo);
    return 0;
}
