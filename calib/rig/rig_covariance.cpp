#include "rig_covariance.h"

#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <cmath>
#include <opencv2/calib3d.hpp>

namespace {
// A pivot below this fraction of the largest, after scaling every parameter to unit diagonal,
// means a direction the data do not fix.
constexpr double kSingularPivot = 1e-13;
constexpr double kDegPerRad = 180.0 / M_PI;

double propagate(const cv::Mat& cov, int at, const cv::Vec3d& gradient) {
    double s = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) s += gradient[i] * cov.at<double>(at + i, at + j) * gradient[j];
    return std::sqrt(std::max(s, 0.0));
}

void lensSigma(const cv::Mat& cov, int at, int terms, RigLensSigma* s) {
    auto sd = [&](int i) { return std::sqrt(std::max(cov.at<double>(at + i, at + i), 0.0)); };
    s->fx = sd(0);
    s->fy = sd(1);
    s->cx = sd(2);
    s->cy = sd(3);
    s->distortion.clear();
    for (int i = 0; i < terms; ++i) s->distortion.push_back(sd(4 + i));
}
}  // namespace

int rigCovariance(RigProblem* rp, cv::Mat* covariance, std::string* message) {
    ceres::Problem::EvaluateOptions eval;
    eval.parameter_blocks = rp->globalBlocks;
    eval.parameter_blocks.insert(eval.parameter_blocks.end(), rp->otherBlocks.begin(),
                                 rp->otherBlocks.end());
    eval.apply_loss_function = false;
    ceres::CRSMatrix crs;
    if (!rp->problem->Evaluate(eval, nullptr, nullptr, nullptr, &crs)) {
        *message = "the Jacobian could not be evaluated at the solution";
        return -1;
    }
    Eigen::Map<const Eigen::SparseMatrix<double, Eigen::RowMajor>> jr(
        crs.num_rows, crs.num_cols, static_cast<int>(crs.values.size()), crs.rows.data(),
        crs.cols.data(), crs.values.data());
    const Eigen::SparseMatrix<double> j(jr);
    Eigen::SparseMatrix<double> h = j.transpose() * j;
    // Unit diagonal: fx (~1000 px) and k3 (~0.1) differ by many orders in scale.
    Eigen::VectorXd scale(h.cols());
    for (int c = 0; c < h.cols(); ++c) {
        const double d = h.coeff(c, c);
        if (!(d > 0)) {
            *message =
                "a parameter of the rig has no effect on any observation (covariance "
                "singular): check that every device and view has observations";
            return -1;
        }
        scale[c] = 1 / std::sqrt(d);
    }
    h = scale.asDiagonal() * h * scale.asDiagonal();
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(h);
    const Eigen::VectorXd d = ldlt.vectorD();
    if (ldlt.info() != Eigen::Success || d.minCoeff() < kSingularPivot * d.maxCoeff()) {
        *message =
            "the covariance is singular: the views do not fix every parameter (add views "
            "at other angles and distances, or use fewer lens terms)";
        return -1;
    }
    const int n = rp->globalSize;
    Eigen::MatrixXd unit = Eigen::MatrixXd::Zero(h.rows(), n);
    for (int i = 0; i < n; ++i) unit(i, i) = 1;
    const Eigen::MatrixXd x = ldlt.solve(unit);
    *covariance = cv::Mat(n, n, CV_64F);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) covariance->at<double>(r, c) = x(r, c) * scale[r] * scale[c];
    return 0;
}

void fillRigSigma(RigSolution* s) {
    const cv::Mat& cov = s->covariance;
    const int nc = 4 + static_cast<int>(s->camera.distortion.size());
    const int np = 4 + static_cast<int>(s->projector.distortion.size());
    lensSigma(cov, 0, nc - 4, &s->cameraSigma);
    lensSigma(cov, nc, np - 4, &s->projectorSigma);
    const int r = nc + np, t = r + 3, b = t + 3;
    cv::Vec3d rvec;
    cv::Rodrigues(s->R, rvec);
    s->rotationVectorDeg = rvec * kDegPerRad;
    s->rotationAngleDeg = cv::norm(rvec) * kDegPerRad;
    for (int i = 0; i < 3; ++i) {
        s->sigmaRotationVectorDeg[i] = std::sqrt(cov.at<double>(r + i, r + i)) * kDegPerRad;
        s->sigmaT[i] = std::sqrt(cov.at<double>(t + i, t + i));
    }
    const double angle = cv::norm(rvec);
    s->sigmaRotationAngleDeg =
        angle > 0 ? propagate(cov, r, rvec / angle) * kDegPerRad
                  : cv::norm(s->sigmaRotationVectorDeg);  // the length of a zero vector
    s->baseline = cv::norm(s->T);
    s->sigmaBaseline = s->baseline > 0 ? propagate(cov, t, s->T / s->baseline) : 0;
    s->sigmaBending.clear();
    for (int i = b; i < cov.rows; ++i) s->sigmaBending.push_back(std::sqrt(cov.at<double>(i, i)));
}
