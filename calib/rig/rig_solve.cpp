#include "rig_solve.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>

#include "rig_covariance.h"
#include "rig_outliers.h"
#include "rig_problem.h"

namespace {
// The groups' σ are re-estimated after each plain solve until they move by less than this
// fraction, at most kSigmaPasses times.
constexpr double kSigmaSettled = 0.01;
constexpr int kSigmaPasses = 8;

bool validLens(const RigLens& lens) {
    const std::size_t n = lens.distortion.size();
    return (n == 0 || n == 5 || n == 8) && lens.imageSize.width > 0 && lens.imageSize.height > 0 &&
           lens.cameraMatrix(0, 0) > 0 && lens.cameraMatrix(1, 1) > 0;
}

int fail(RigSolution* s, const std::string& why) {
    s->message = why;
    return -1;
}

void loadLens(const RigLens& lens, double* block) {
    block[0] = lens.cameraMatrix(0, 0);
    block[1] = lens.cameraMatrix(1, 1);
    block[2] = lens.cameraMatrix(0, 2);
    block[3] = lens.cameraMatrix(1, 2);
    for (std::size_t i = 0; i < lens.distortion.size(); ++i)
        block[kRigLensOffset + i] = lens.distortion[i];
}

RigLens storeLens(const RigLens& like, const double* block) {
    RigLens lens = like;
    lens.cameraMatrix = cv::Matx33d(block[0], 0, block[2], 0, block[1], block[3], 0, 0, 1);
    for (std::size_t i = 0; i < lens.distortion.size(); ++i)
        lens.distortion[i] = block[kRigLensOffset + i];
    return lens;
}

std::string validate(const std::vector<RigView>& views, const RigInitial& init,
                     const RigSolveOptions& o) {
    if (views.empty()) return "no views";
    if (init.rvecs.size() != views.size() || init.tvecs.size() != views.size())
        return "the initial values hold " + std::to_string(init.rvecs.size()) + " poses for " +
               std::to_string(views.size()) + " views";
    if (!validLens(init.camera) || !validLens(init.projector))
        return "a device's initial model is unusable (image size and focal lengths must be "
               "positive, lens terms 0, 5 or 8)";
    if (o.bendingTerms < 0 || o.bendingTerms > 2) return "bending terms must be 0, 1 or 2";
    if (!(o.rejectSigma > 0) || o.rounds < 1 || o.maxIterations < 1 ||
        !(o.maxRejectedFraction >= 0))
        return "options out of range (rejectSigma > 0, rounds >= 1, maxIterations >= 1)";
    for (const RigView& v : views) {
        const std::string name = "view of image " + std::to_string(v.imageNumber);
        if (v.boardPoints.size() != v.cameraPoints.size() ||
            v.patternPoints.size() != v.patternInCamera.size())
            return name + ": point counts do not pair up";
        if (v.boardPoints.empty() && v.patternPoints.size() < 3)
            return name + ": no board points and fewer than 3 projected points";
    }
    return "";
}

// The board point the camera sees at pixel px, on the plane z = 0 of the view's initial pose.
bool boardPointAt(const RigLens& camera, const cv::Vec3d& rvec, const cv::Vec3d& tvec,
                  cv::Point2d px, RigPoint* out) {
    std::vector<cv::Point2d> in{px}, normal;
    cv::undistortPoints(
        in, normal, cv::Mat(camera.cameraMatrix), camera.distortion, cv::noArray(), cv::noArray(),
        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-12));
    cv::Matx33d rot;
    cv::Rodrigues(rvec, rot);
    const cv::Vec3d origin = -(rot.t() * tvec);
    const cv::Vec3d dir = rot.t() * cv::Vec3d(normal[0].x, normal[0].y, 1);
    if (std::abs(dir[2]) < 1e-12) return false;
    const double s = -origin[2] / dir[2];
    if (!(s > 0)) return false;
    (*out)[0] = origin[0] + s * dir[0];
    (*out)[1] = origin[1] + s * dir[1];
    return true;
}

std::string initialise(const std::vector<RigView>& views, const RigInitial& init, int bendTerms,
                       RigParams* p) {
    loadLens(init.camera, p->camera);
    loadLens(init.projector, p->projector);
    p->cameraTerms = static_cast<int>(init.camera.distortion.size());
    p->projectorTerms = static_cast<int>(init.projector.distortion.size());
    cv::Vec3d rigR;
    cv::Rodrigues(init.R, rigR);
    for (int i = 0; i < 3; ++i) p->rig[i] = rigR[i], p->rig[3 + i] = init.T[i];
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (std::size_t v = 0; v < views.size(); ++v) {
        RigPose pose;
        for (int i = 0; i < 3; ++i) pose[i] = init.rvecs[v][i], pose[3 + i] = init.tvecs[v][i];
        p->poses.push_back(pose);
        std::vector<RigPoint> points(views[v].patternPoints.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            if (!boardPointAt(init.camera, init.rvecs[v], init.tvecs[v],
                              views[v].patternInCamera[i], &points[i]))
                return "view of image " + std::to_string(views[v].imageNumber) +
                       ": a projected point's camera ray misses the initial board plane (check "
                       "the initial pose)";
        p->points.push_back(points);
        auto extend = [&](double x, double y) {
            lo[0] = std::min(lo[0], x), hi[0] = std::max(hi[0], x);
            lo[1] = std::min(lo[1], y), hi[1] = std::max(hi[1], y);
        };
        for (const cv::Point3d& b : views[v].boardPoints) extend(b.x, b.y);
        for (const RigPoint& b : points) extend(b[0], b[1]);
    }
    p->bend.terms = bendTerms;
    p->bend.cx = (lo[0] + hi[0]) / 2;
    p->bend.cy = (lo[1] + hi[1]) / 2;
    p->bend.half = std::max(std::hypot(hi[0] - lo[0], hi[1] - lo[1]) / 2, 1e-9);
    return "";
}

double rms(const std::vector<cv::Vec2d>& a, const std::vector<char>& keep, double* sum, int* n) {
    double s = 0;
    int k = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (keep[i]) s += a[i].dot(a[i]), ++k;
    *sum += s, *n += k;
    return s;
}

void fillSolution(const RigParams& p, const RigKeep& keep, const RigResiduals& r,
                  const RigInitial& init, RigSolution* s) {
    s->camera = storeLens(init.camera, p.camera);
    s->projector = storeLens(init.projector, p.projector);
    s->rvecs.clear(), s->tvecs.clear();
    for (const RigPose& pose : p.poses) {
        s->rvecs.emplace_back(pose[0], pose[1], pose[2]);
        s->tvecs.emplace_back(pose[3], pose[4], pose[5]);
    }
    cv::Rodrigues(cv::Vec3d(p.rig[0], p.rig[1], p.rig[2]), s->R);
    s->T = cv::Vec3d(p.rig[3], p.rig[4], p.rig[5]);
    s->bending.assign(p.bending, p.bending + p.bend.terms);
    s->bendingCentre = cv::Point2d(p.bend.cx, p.bend.cy);
    s->bendingHalfExtent = p.bend.half;
    double camSum = 0, projSum = 0;
    int camN = 0, projN = 0;
    s->rmsCameraPerView.clear(), s->rmsProjectorPerView.clear();
    for (std::size_t v = 0; v < r.board.size(); ++v) {
        double cs = 0, ps = 0;
        int cn = 0, pn = 0;
        rms(r.board[v], keep.board[v], &cs, &cn);
        rms(r.projectedCamera[v], keep.projected[v], &cs, &cn);
        rms(r.projector[v], keep.projected[v], &ps, &pn);
        s->rmsCameraPerView.push_back(cn ? std::sqrt(cs / cn) : 0);
        s->rmsProjectorPerView.push_back(pn ? std::sqrt(ps / pn) : 0);
        camSum += cs, camN += cn, projSum += ps, projN += pn;
    }
    s->rmsCamera = camN ? std::sqrt(camSum / camN) : 0;
    s->rmsProjector = projN ? std::sqrt(projSum / projN) : 0;
}
}  // namespace

int solveRig(const std::vector<RigView>& views, const RigInitial& initial,
             const RigSolveOptions& options, RigSolution* solution) {
    RigSolution& s = *solution;
    s = RigSolution();
    const std::string bad = validate(views, initial, options);
    if (!bad.empty()) return fail(&s, bad);
    RigParams p;
    const std::string noStart = initialise(views, initial, options.bendingTerms, &p);
    if (!noStart.empty()) return fail(&s, noStart);

    RigKeep keep;
    for (const RigView& v : views) {
        keep.board.emplace_back(v.boardPoints.size(), 1);
        keep.projected.emplace_back(v.patternPoints.size(), 1);
        s.observations += static_cast<int>(v.boardPoints.size() + v.patternPoints.size());
    }
    if (!std::any_of(views.begin(), views.end(),
                     [](const RigView& v) { return !v.patternPoints.empty(); }))
        return fail(&s, "no projector observations: the projector and R, T are not fixed");

    // 1. Robust rounds: Huber loss, σ per group from the median absolute deviation, rejection.
    double sigma[kRigGroups];
    robustGroupSigma(rigResiduals(p, views), keep, sigma);
    // The free points start on the camera's rays, so the camera's residuals on them start at
    // zero: take the same camera's spread on the board instead.
    sigma[1] = sigma[0];
    for (int round = 0; round < options.rounds; ++round) {
        RigProblem rp = buildRigProblem(&p, views, keep, sigma, options.lossScale);
        // A robust round need not settle: the plain solves after it must.
        runRigProblem(&rp, options.maxIterations, &s.iterations, &s.message);
        s.message.clear();
        const RigResiduals r = rigResiduals(p, views);
        const double before[kRigGroups] = {sigma[0], sigma[1], sigma[2]};
        robustGroupSigma(r, keep, sigma);
        // The median absolute residual shrinks as a group fits its own noise: take out the
        // parameters' share.
        double n[kRigGroups], redundancy[kRigGroups];
        groupComponents(keep, n);
        groupRedundancy(p, views, keep, before, rp.freeParameters, redundancy);
        for (int g = 0; g < kRigGroups; ++g)
            if (redundancy[g] > 0) sigma[g] *= std::sqrt(n[g] / redundancy[g]);
        if (rejectOutliers(r, views, sigma, options.rejectSigma, &keep, &s.rejected) == 0 &&
            round > 0)
            break;
    }
    // 2. Plain weighted least squares on what is kept, σ from the residual spread (twice: the
    // weights move the solution, the solution the spread).
    // Variance components: re-weight until the groups' σ settle.
    RigProblem rp;
    for (int pass = 0; pass < kSigmaPasses; ++pass) {
        rp = buildRigProblem(&p, views, keep, sigma, 0);
        if (rp.residualComponents <= rp.freeParameters)
            return fail(&s, "fewer observations than parameters: add views");
        if (runRigProblem(&rp, options.maxIterations, &s.iterations, &s.message) != 0) return -1;
        if (pass == 0) {
            double cost = 0;
            rp.problem->Evaluate(ceres::Problem::EvaluateOptions(), &cost, nullptr, nullptr,
                                 nullptr);
            s.reducedChi2 = 2 * cost / (rp.residualComponents - rp.freeParameters);
        }
        double redundancy[kRigGroups];
        groupRedundancy(p, views, keep, sigma, rp.freeParameters, redundancy);
        const double before[kRigGroups] = {sigma[0], sigma[1], sigma[2]};
        spreadGroupSigma(rigResiduals(p, views), keep, redundancy, sigma);
        double change = 0;
        for (int g = 0; g < kRigGroups; ++g)
            change = std::max(change, std::abs(sigma[g] / before[g] - 1));
        if (change < kSigmaSettled) break;
    }
    // The covariance with the weights the last solve's spread gives.
    rp = buildRigProblem(&p, views, keep, sigma, 0);
    const RigResiduals r = rigResiduals(p, views);
    fillSolution(p, keep, r, initial, &s);
    std::copy(sigma, sigma + kRigGroups, s.groupSigma);
    if (rigCovariance(&rp, &s.covariance, &s.message) != 0) return -1;
    fillRigSigma(&s);

    s.rejectedPerView.assign(views.size(), 0);
    for (const RigRejected& x : s.rejected) ++s.rejectedPerView[x.view];
    const double fraction = static_cast<double>(s.rejected.size()) / s.observations;
    if (fraction > options.maxRejectedFraction) {
        s.tooManyRejected = true;
        s.message = std::to_string(s.rejected.size()) + " of " + std::to_string(s.observations) +
                    " observations rejected as outliers (more than " +
                    cv::format("%.1f", 100 * options.maxRejectedFraction) +
                    " %): check the point matching and the corner refinement (a smaller "
                    "window), or the initial values";
    }
    return 0;
}
