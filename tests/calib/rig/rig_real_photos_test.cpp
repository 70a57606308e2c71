// The joint solve on real photos: OpenCV's stereo chessboard pairs, the left camera as the
// camera, the right camera as the "projector" (it sees the board's corners; the solve does not
// know where on the board they are). Compared with OpenCV's own stereo calibration.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <opencv2/calib3d.hpp>

#include "real_photos.h"
#include "rig_solve.h"

namespace {
constexpr double kRotationToleranceDeg = 0.1;
constexpr double kTranslationTolerance = 0.003;  // of |T|

struct Device {
    cv::Mat k, dist;
    std::vector<cv::Mat> rvecs, tvecs;
};

Device calibrate(const std::vector<std::vector<cv::Point3f>>& board,
                 const std::vector<std::vector<cv::Point2f>>& image, cv::Size size) {
    Device d;
    cv::calibrateCamera(board, image, size, d.k, d.dist, d.rvecs, d.tvecs);
    return d;
}

RigLens lensOf(const Device& d, cv::Size size) {
    RigLens lens;
    lens.imageSize = size;
    lens.cameraMatrix = cv::Matx33d(d.k);
    lens.distortion.assign(d.dist.ptr<double>(), d.dist.ptr<double>() + 5);
    return lens;
}

struct Stereo {
    cv::Matx33d r;
    cv::Vec3d t;
};

// The chain: each camera calibrated, then the stereo pose with the intrinsics fixed (or
// refined together, flags = CALIB_USE_INTRINSIC_GUESS).
Stereo opencvStereo(const RealStereoPairs& p, int flags) {
    const std::vector<std::vector<cv::Point3f>> board(p.numbers.size(), p.board);
    Device l = calibrate(board, p.left, p.size), r = calibrate(board, p.right, p.size);
    cv::Mat rm, tm, e, f;
    cv::stereoCalibrate(
        board, p.left, p.right, l.k, l.dist, r.k, r.dist, p.size, rm, tm, e, f, flags,
        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-10));
    return {cv::Matx33d(rm), cv::Vec3d(tm)};
}

double angleDeg(const cv::Matx33d& a, const cv::Matx33d& b) {
    cv::Vec3d r;
    cv::Rodrigues(a * b.t(), r);
    return cv::norm(r) * 180 / M_PI;
}

RigSolution jointSolve(const RealStereoPairs& p, int* status) {
    const std::vector<std::vector<cv::Point3f>> board(p.numbers.size(), p.board);
    const Device l = calibrate(board, p.left, p.size), r = calibrate(board, p.right, p.size);
    const Stereo chain = opencvStereo(p, cv::CALIB_FIX_INTRINSIC);
    std::vector<RigView> views;
    RigInitial init;
    init.camera = lensOf(l, p.size);
    init.projector = lensOf(r, p.size);
    init.R = chain.r;
    init.T = chain.t;
    for (std::size_t v = 0; v < p.numbers.size(); ++v) {
        RigView view;
        view.imageNumber = p.numbers[v];
        for (std::size_t i = 0; i < p.board.size(); ++i) {
            view.boardPoints.emplace_back(p.board[i].x, p.board[i].y, 0);
            view.cameraPoints.emplace_back(p.left[v][i].x, p.left[v][i].y);
            view.patternPoints.emplace_back(p.right[v][i].x, p.right[v][i].y);
            view.patternInCamera.emplace_back(p.left[v][i].x, p.left[v][i].y);
        }
        views.push_back(view);
        init.rvecs.push_back(cv::Vec3d(l.rvecs[v]));
        init.tvecs.push_back(cv::Vec3d(l.tvecs[v]));
    }
    RigSolution s;
    *status = solveRig(views, init, RigSolveOptions(), &s);
    return s;
}

class RigRealPhotos : public ::testing::TestWithParam<int> {};

TEST_P(RigRealPhotos, JointSolveLandsOnOpenCvStereoCalibration) {
    const int window = GetParam();
    const RealStereoPairs careful = sampledPairs(stereoChessboardPairs(5));
    const RealStereoPairs pairs = sampledPairs(stereoChessboardPairs(window));
    ASSERT_GE(pairs.numbers.size(), 10u);
    const Stereo reference = opencvStereo(careful, cv::CALIB_USE_INTRINSIC_GUESS);
    const Stereo chain = opencvStereo(pairs, cv::CALIB_FIX_INTRINSIC);
    int status = -1;
    const RigSolution s = jointSolve(pairs, &status);
    ASSERT_EQ(status, 0) << s.message;
    EXPECT_FALSE(s.tooManyRejected) << s.message;
    const double joint = angleDeg(s.R, reference.r);
    const double jointT = cv::norm(s.T - reference.t) / cv::norm(reference.t);
    std::printf(
        "window %d: reference |T| %.3f angle %.4f deg\n"
        "  chain (fixed intrinsics): rotation off %.4f deg, T off %.3f %%\n"
        "  joint: rotation off %.4f deg (σ %.4f), T off %.3f %% (σ of baseline %.3f %%), "
        "baseline %.3f, rejected %zu of %d, rms camera %.3f projector %.3f px, "
        "camera fx %.2f ± %.2f, projector fx %.2f ± %.2f\n",
        window, cv::norm(reference.t), angleDeg(reference.r, cv::Matx33d::eye()),
        angleDeg(chain.r, reference.r),
        100 * cv::norm(chain.t - reference.t) / cv::norm(reference.t), joint,
        s.sigmaRotationAngleDeg, 100 * jointT, 100 * s.sigmaBaseline / s.baseline, s.baseline,
        s.rejected.size(), s.observations, s.rmsCamera, s.rmsProjector, s.camera.cameraMatrix(0, 0),
        s.cameraSigma.fx, s.projector.cameraMatrix(0, 0), s.projectorSigma.fx);
    EXPECT_LT(joint, kRotationToleranceDeg);
    EXPECT_LT(jointT, kTranslationTolerance);
    int counted = 0;
    for (int n : s.rejectedPerView) counted += n;
    EXPECT_EQ(counted, static_cast<int>(s.rejected.size()));
    if (window > 5) {
        EXPECT_GT(s.rejected.size(), 0u) << "the dragged edge corners must go";
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, RigRealPhotos, ::testing::Values(5, 11));
}  // namespace
