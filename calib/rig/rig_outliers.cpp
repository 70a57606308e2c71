#include "rig_outliers.h"

#include <algorithm>
#include <cmath>

namespace {
// Below this the data are exact; a σ of zero would make every weight infinite.
constexpr double kSigmaFloorPx = 1e-4;
constexpr double kMadToSigma = 1.4826;

template <typename F>
void forKept(const RigResiduals& r, const RigKeep& keep, F f) {
    for (std::size_t v = 0; v < r.board.size(); ++v) {
        for (std::size_t i = 0; i < r.board[v].size(); ++i)
            if (keep.board[v][i]) f(0, r.board[v][i]);
        for (std::size_t i = 0; i < r.projector[v].size(); ++i) {
            if (!keep.projected[v][i]) continue;
            f(1, r.projectedCamera[v][i]);
            f(2, r.projector[v][i]);
        }
    }
}
}  // namespace

void robustGroupSigma(const RigResiduals& r, const RigKeep& keep, double sigma[kRigGroups]) {
    std::vector<double> abs[kRigGroups];
    forKept(r, keep, [&](int g, const cv::Vec2d& e) {
        abs[g].push_back(std::abs(e[0]));
        abs[g].push_back(std::abs(e[1]));
    });
    for (int g = 0; g < kRigGroups; ++g) {
        if (abs[g].empty()) {
            sigma[g] = 1;
            continue;
        }
        auto mid = abs[g].begin() + abs[g].size() / 2;
        std::nth_element(abs[g].begin(), mid, abs[g].end());
        sigma[g] = std::max(kMadToSigma * *mid, kSigmaFloorPx);
    }
}

void groupComponents(const RigKeep& keep, double n[kRigGroups]) {
    n[0] = n[1] = n[2] = 0;
    for (std::size_t v = 0; v < keep.board.size(); ++v) {
        for (char k : keep.board[v]) n[0] += 2 * k;
        for (char k : keep.projected[v]) n[1] += 2 * k, n[2] += 2 * k;
    }
}

void groupRedundancy(const RigParams& p, const std::vector<RigView>& views, const RigKeep& keep,
                     const double sigma[kRigGroups], int freeParameters, double r[kRigGroups]) {
    double n[kRigGroups];
    groupComponents(keep, n);
    double pointShare[kRigGroups] = {0, 0, 0};
    int pointParameters = 0;
    for (std::size_t v = 0; v < views.size(); ++v) {
        const double* pose = p.poses[v].data();
        for (std::size_t i = 0; i < views[v].patternPoints.size(); ++i) {
            if (!keep.projected[v][i]) continue;
            const double* point = p.points[v][i].data();
            const std::unique_ptr<ceres::CostFunction> cam(
                cameraProjectedCost({views[v].patternInCamera[i].x, views[v].patternInCamera[i].y,
                                     1 / sigma[1], p.bend}));
            const std::unique_ptr<ceres::CostFunction> proj(projectorCost(
                {views[v].patternPoints[i].x, views[v].patternPoints[i].y, 1 / sigma[2], p.bend}));
            double res[2], jc[4], jp[4];
            double* camJ[4] = {nullptr, nullptr, jc, nullptr};
            double* projJ[5] = {nullptr, nullptr, nullptr, jp, nullptr};
            const double* camP[4] = {p.camera, pose, point, p.bending};
            const double* projP[5] = {p.projector, pose, p.rig, point, p.bending};
            cam->Evaluate(camP, res, camJ);
            proj->Evaluate(projP, res, projJ);
            const cv::Matx22d a(jc[0], jc[1], jc[2], jc[3]), b(jp[0], jp[1], jp[2], jp[3]);
            const cv::Matx22d ac = a.t() * a, ap = b.t() * b;
            const cv::Matx22d inv = (ac + ap).inv();
            pointShare[1] += cv::trace(inv * ac);
            pointShare[2] += cv::trace(inv * ap);
            pointParameters += 2;
        }
    }
    const double rest = freeParameters - pointParameters, total = n[0] + n[1] + n[2];
    for (int g = 0; g < kRigGroups; ++g)
        r[g] = std::max(n[g] - pointShare[g] - rest * n[g] / total, 0.1 * n[g]);
}

void spreadGroupSigma(const RigResiduals& r, const RigKeep& keep,
                      const double redundancy[kRigGroups], double sigma[kRigGroups]) {
    double sum[kRigGroups] = {0, 0, 0};
    forKept(r, keep, [&](int g, const cv::Vec2d& e) { sum[g] += e.dot(e); });
    for (int g = 0; g < kRigGroups; ++g)
        sigma[g] =
            redundancy[g] > 0 ? std::max(std::sqrt(sum[g] / redundancy[g]), kSigmaFloorPx) : 1;
}

int rejectOutliers(const RigResiduals& r, const std::vector<RigView>& views,
                   const double sigma[kRigGroups], double rejectSigma, RigKeep* keep,
                   std::vector<RigRejected>* rejected) {
    int count = 0;
    for (std::size_t v = 0; v < views.size(); ++v) {
        auto reject = [&](int index, RigGroup group, double errorPx) {
            RigRejected out;
            out.view = static_cast<int>(v);
            out.imageNumber = views[v].imageNumber;
            out.index = index;
            out.group = group;
            out.projector = group == RigGroup::Projector;
            out.errorPx = errorPx;
            rejected->push_back(out);
            ++count;
        };
        for (std::size_t i = 0; i < r.board[v].size(); ++i) {
            const double e = cv::norm(r.board[v][i]);
            if (keep->board[v][i] && e > rejectSigma * sigma[0]) {
                keep->board[v][i] = 0;
                reject(static_cast<int>(i), RigGroup::CameraBoard, e);
            }
        }
        for (std::size_t i = 0; i < r.projector[v].size(); ++i) {
            if (!keep->projected[v][i]) continue;
            const double c = cv::norm(r.projectedCamera[v][i]);
            const double p = cv::norm(r.projector[v][i]);
            if (c <= rejectSigma * sigma[1] && p <= rejectSigma * sigma[2]) continue;
            keep->projected[v][i] = 0;
            if (c / sigma[1] > p / sigma[2])
                reject(static_cast<int>(i), RigGroup::CameraProjected, c);
            else
                reject(static_cast<int>(i), RigGroup::Projector, p);
        }
    }
    return count;
}
