#include "rig_problem.h"

#include <cmath>

namespace {
// Terms the lens does not use stay at zero.
void holdUnusedTerms(ceres::Problem* problem, double* block, int terms) {
    if (terms == 8) return;
    std::vector<int> fixed;
    for (int i = kRigLensOffset + terms; i < kRigIntrinsics; ++i) fixed.push_back(i);
    problem->SetManifold(block, new ceres::SubsetManifold(kRigIntrinsics, fixed));
}

// The free points that fix the in-plane gauge of a view the camera saw no board marker in.
void fixGauge(ceres::Problem* problem, std::vector<RigPoint>& points,
              const std::vector<char>& kept) {
    int first = -1, second = -1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!kept[i]) continue;
        if (first < 0) {
            first = static_cast<int>(i);
        } else if (std::hypot(points[i][0] - points[first][0], points[i][1] - points[first][1]) >
                   0) {
            second = static_cast<int>(i);
            break;
        }
    }
    if (second < 0) return;
    problem->SetParameterBlockConstant(points[first].data());
    // Rotation about the first point moves the second across their line; hold the coordinate
    // that motion changes most.
    const double dx = points[second][0] - points[first][0];
    const double dy = points[second][1] - points[first][1];
    problem->SetManifold(points[second].data(),
                         new ceres::SubsetManifold(2, {std::abs(dy) > std::abs(dx) ? 0 : 1}));
}

int tangentSize(ceres::Problem* problem, double* block) {
    return problem->IsParameterBlockConstant(block) ? 0 : problem->ParameterBlockTangentSize(block);
}
}  // namespace

RigProblem buildRigProblem(RigParams* p, const std::vector<RigView>& views, const RigKeep& keep,
                           const double sigma[kRigGroups], double lossScale) {
    RigProblem rp;
    rp.problem = std::make_unique<ceres::Problem>();
    ceres::Problem* problem = rp.problem.get();
    auto loss = [&]() -> ceres::LossFunction* {
        return lossScale > 0 ? new ceres::HuberLoss(lossScale) : nullptr;
    };
    bool anyCamera = false, anyProjector = false;
    std::vector<char> poseUsed(views.size(), 0);
    for (std::size_t v = 0; v < views.size(); ++v) {
        const RigView& view = views[v];
        double* pose = p->poses[v].data();
        bool boardSeen = false;
        for (std::size_t i = 0; i < view.boardPoints.size(); ++i) {
            if (!keep.board[v][i]) continue;
            const CameraBoardResidual r{view.boardPoints[i].x,  view.boardPoints[i].y,
                                        view.cameraPoints[i].x, view.cameraPoints[i].y,
                                        1 / sigma[0],           p->bend};
            problem->AddResidualBlock(cameraBoardCost(r), loss(), p->camera, pose, p->bending);
            rp.residualComponents += 2;
            boardSeen = anyCamera = true;
            poseUsed[v] = 1;
        }
        for (std::size_t i = 0; i < view.patternPoints.size(); ++i) {
            if (!keep.projected[v][i]) continue;
            double* point = p->points[v][i].data();
            const CameraProjectedResidual c{view.patternInCamera[i].x, view.patternInCamera[i].y,
                                            1 / sigma[1], p->bend};
            problem->AddResidualBlock(cameraProjectedCost(c), loss(), p->camera, pose, point,
                                      p->bending);
            const ProjectorResidual q{view.patternPoints[i].x, view.patternPoints[i].y,
                                      1 / sigma[2], p->bend};
            problem->AddResidualBlock(projectorCost(q), loss(), p->projector, pose, p->rig, point,
                                      p->bending);
            rp.residualComponents += 4;
            anyCamera = anyProjector = true;
            poseUsed[v] = 1;
            rp.pointBlocks.push_back(point);
        }
        if (!boardSeen && poseUsed[v]) fixGauge(problem, p->points[v], keep.projected[v]);
    }
    if (anyCamera) {
        holdUnusedTerms(problem, p->camera, p->cameraTerms);
        rp.globalBlocks.push_back(p->camera);
    }
    if (anyProjector) {
        holdUnusedTerms(problem, p->projector, p->projectorTerms);
        rp.globalBlocks.push_back(p->projector);
        rp.globalBlocks.push_back(p->rig);
    }
    if (anyCamera) {
        if (p->bend.terms == 0)
            problem->SetParameterBlockConstant(p->bending);
        else if (p->bend.terms == 1)
            problem->SetManifold(p->bending, new ceres::SubsetManifold(2, {1}));
        if (p->bend.terms > 0) rp.globalBlocks.push_back(p->bending);
    }
    for (double* b : rp.globalBlocks) rp.globalSize += tangentSize(problem, b);
    for (std::size_t v = 0; v < views.size(); ++v) {
        if (!poseUsed[v]) continue;
        rp.otherBlocks.push_back(p->poses[v].data());
        for (std::size_t i = 0; i < p->points[v].size(); ++i) {
            double* point = p->points[v][i].data();
            if (keep.projected[v][i] && !problem->IsParameterBlockConstant(point))
                rp.otherBlocks.push_back(point);
        }
    }
    rp.freeParameters = rp.globalSize;
    for (double* b : rp.otherBlocks) rp.freeParameters += tangentSize(problem, b);
    return rp;
}

int runRigProblem(RigProblem* rp, int maxIterations, int* iterations, std::string* message) {
    ceres::Solver::Options options;
    options.linear_solver_type = ceres::DENSE_SCHUR;
    options.max_num_iterations = maxIterations;
    options.function_tolerance = 1e-9;
    options.gradient_tolerance = 1e-12;
    options.parameter_tolerance = 1e-10;
    options.num_threads = 1;

    options.logging_type = ceres::SILENT;
    // Free points first (each touches one pose and the globals), then the rest.
    auto* ordering = new ceres::ParameterBlockOrdering;
    std::vector<double*> all;
    rp->problem->GetParameterBlocks(&all);
    for (double* b : all) ordering->AddElementToGroup(b, 1);
    for (double* b : rp->pointBlocks) ordering->AddElementToGroup(b, 0);
    if (!rp->pointBlocks.empty())
        options.linear_solver_ordering.reset(ordering);
    else
        delete ordering;
    ceres::Solver::Summary summary;
    ceres::Solve(options, rp->problem.get(), &summary);
    *iterations += static_cast<int>(summary.iterations.size());
    if (summary.termination_type != ceres::CONVERGENCE) {
        *message = "the joint solve did not converge (" + summary.message +
                   "): start from better initial values (the separate calibrations) or allow "
                   "more iterations";
        return -1;
    }
    return 0;
}

RigResiduals rigResiduals(const RigParams& p, const std::vector<RigView>& views) {
    RigResiduals out;
    for (std::size_t v = 0; v < views.size(); ++v) {
        const RigView& view = views[v];
        const double* pose = p.poses[v].data();
        std::vector<cv::Vec2d> board, cam, proj;
        for (std::size_t i = 0; i < view.boardPoints.size(); ++i) {
            const CameraBoardResidual r{view.boardPoints[i].x,
                                        view.boardPoints[i].y,
                                        view.cameraPoints[i].x,
                                        view.cameraPoints[i].y,
                                        1,
                                        p.bend};
            cv::Vec2d e;
            r(p.camera, pose, p.bending, e.val);
            board.push_back(e);
        }
        for (std::size_t i = 0; i < view.patternPoints.size(); ++i) {
            const double* point = p.points[v][i].data();
            const CameraProjectedResidual c{view.patternInCamera[i].x, view.patternInCamera[i].y, 1,
                                            p.bend};
            cv::Vec2d e, f;
            c(p.camera, pose, point, p.bending, e.val);
            const ProjectorResidual q{view.patternPoints[i].x, view.patternPoints[i].y, 1, p.bend};
            q(p.projector, pose, p.rig, point, p.bending, f.val);
            cam.push_back(e);
            proj.push_back(f);
        }
        out.board.push_back(board);
        out.projectedCamera.push_back(cam);
        out.projector.push_back(proj);
    }
    return out;
}
