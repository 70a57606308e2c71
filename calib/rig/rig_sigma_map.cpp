// The projection-uncertainty map: the covariance of the rig parameters pushed through the
// projection of fixed points at the working distance.
#include <ceres/ceres.h>

#include <cmath>
#include <opencv2/calib3d.hpp>

#include "rig_projection.h"
#include "rig_solve.h"

namespace {
// A pixel whose back-projected ray reprojects farther than this is beyond the lens's inverse.
constexpr double kRoundTripPx = 1e-3;
const cv::TermCriteria kInverse(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-12);

struct CameraPixel {
    double x[3];
    template <typename T>
    bool operator()(const T* camera, T* px) const {
        const T p[3] = {T(x[0]), T(x[1]), T(x[2])};
        projectThroughLens(camera, p, px);
        return true;
    }
};

struct ProjectorPixel {
    double x[3];  // camera frame
    template <typename T>
    bool operator()(const T* projector, const T* rig, T* px) const {
        const T p[3] = {T(x[0]), T(x[1]), T(x[2])};
        T q[3];
        transformPoint(rig, p, q);
        projectThroughLens(projector, q, px);
        return true;
    }
};

void block(const RigLens& lens, double* b) {
    b[0] = lens.cameraMatrix(0, 0), b[1] = lens.cameraMatrix(1, 1);
    b[2] = lens.cameraMatrix(0, 2), b[3] = lens.cameraMatrix(1, 2);
    for (int i = kRigLensOffset; i < kRigIntrinsics; ++i) b[i] = 0;
    for (std::size_t i = 0; i < lens.distortion.size(); ++i)
        b[kRigLensOffset + i] = lens.distortion[i];
}
}  // namespace

int projectionSigmaMap(const RigSolution& s, bool projector, double workingDistance, cv::Size grid,
                       cv::Mat* sigmaPx, std::string* message) {
    const RigLens& lens = projector ? s.projector : s.camera;
    const int nc = 4 + static_cast<int>(s.camera.distortion.size());
    const int np = 4 + static_cast<int>(s.projector.distortion.size());
    if (s.covariance.rows < nc + np + 6) {
        *message = "the solution holds no covariance (the solve failed)";
        return -1;
    }
    if (grid.width < 2 || grid.height < 2 || !(workingDistance > 0)) {
        *message = "the map needs a grid of at least 2 x 2 and a positive working distance";
        return -1;
    }
    double cam[kRigIntrinsics], proj[kRigIntrinsics], rig[6];
    block(s.camera, cam);
    block(s.projector, proj);
    cv::Vec3d rvec;
    cv::Rodrigues(s.R, rvec);
    for (int i = 0; i < 3; ++i) rig[i] = rvec[i], rig[3 + i] = s.T[i];
    const cv::Matx33d rt = s.R.t();

    // The columns of the device's parameters in the covariance, in the Jacobian's order.
    std::vector<int> at;
    const int first = projector ? nc : 0, count = projector ? np : nc;
    for (int i = 0; i < count; ++i) at.push_back(first + i);
    if (projector)
        for (int i = 0; i < 6; ++i) at.push_back(nc + np + i);

    *sigmaPx = cv::Mat(grid, CV_64F);
    for (int gy = 0; gy < grid.height; ++gy) {
        for (int gx = 0; gx < grid.width; ++gx) {
            const cv::Point2d px((lens.imageSize.width - 1.0) * gx / (grid.width - 1),
                                 (lens.imageSize.height - 1.0) * gy / (grid.height - 1));
            std::vector<cv::Point2d> in{px}, normal;
            cv::undistortPoints(in, normal, cv::Mat(lens.cameraMatrix), lens.distortion,
                                cv::noArray(), cv::noArray(), kInverse);
            cv::Vec3d x(normal[0].x * workingDistance, normal[0].y * workingDistance,
                        workingDistance);
            double j0[2 * kRigIntrinsics], j1[2 * 6], back[2];
            double* jac[2] = {j0, j1};
            if (projector) {
                const cv::Vec3d xc = rt * (x - s.T);  // the point held fixed in the camera frame
                ceres::AutoDiffCostFunction<ProjectorPixel, 2, kRigIntrinsics, 6> f(
                    new ProjectorPixel{{xc[0], xc[1], xc[2]}});
                const double* params[2] = {proj, rig};
                f.Evaluate(params, back, jac);
            } else {
                ceres::AutoDiffCostFunction<CameraPixel, 2, kRigIntrinsics> f(
                    new CameraPixel{{x[0], x[1], x[2]}});
                const double* params[1] = {cam};
                f.Evaluate(params, back, jac);
            }
            if (std::hypot(back[0] - px.x, back[1] - px.y) > kRoundTripPx) {
                *message = cv::format(
                    "pixel (%.0f, %.0f) lies beyond where the lens can be inverted", px.x, px.y);
                return -1;
            }
            // Rows of the Jacobian over the covariance's columns.
            std::vector<double> ju, jv;
            for (int i = 0; i < count; ++i)
                ju.push_back(j0[i]), jv.push_back(j0[kRigIntrinsics + i]);
            if (projector)
                for (int i = 0; i < 6; ++i) ju.push_back(j1[i]), jv.push_back(j1[6 + i]);
            double var = 0;
            for (std::size_t a = 0; a < at.size(); ++a)
                for (std::size_t b = 0; b < at.size(); ++b) {
                    const double c = s.covariance.at<double>(at[a], at[b]);
                    var += (ju[a] * ju[b] + jv[a] * jv[b]) * c;
                }
            sigmaPx->at<double>(gy, gx) = std::sqrt(std::max(var, 0.0));
        }
    }
    return 0;
}
