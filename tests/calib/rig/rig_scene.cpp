#include "rig_scene.h"

#include <opencv2/calib3d.hpp>

namespace {
cv::Point2d project(const RigLens& lens, const cv::Vec3d& x) {
    std::vector<cv::Point3d> in{cv::Point3d(x[0], x[1], x[2])};
    std::vector<cv::Point2d> out;
    cv::projectPoints(in, cv::Vec3d(), cv::Vec3d(), cv::Mat(lens.cameraMatrix), lens.distortion,
                      out);
    return out[0];
}

bool inside(const RigLens& lens, cv::Point2d p) {
    return p.x >= 0 && p.y >= 0 && p.x <= lens.imageSize.width - 1 &&
           p.y <= lens.imageSize.height - 1;
}
}  // namespace

RigScene makeRigScene(const RigSceneSetup& setup) {
    RigScene s;
    RigInitial& t = s.truth;
    t.camera = {{640, 480},
                cv::Matx33d(620, 0, 322, 0, 618, 236, 0, 0, 1),
                {-0.25, 0.1, 0.001, -0.0008, 0.0}};
    t.projector = {{800, 600},
                   cv::Matx33d(1100, 0, 405, 0, 1096, 560, 0, 0, 1),
                   {0.04, -0.03, 0.0005, 0.0003, 0.0}};
    cv::Rodrigues(cv::Vec3d(0.02, -0.25, 0.01), t.R);
    t.T = cv::Vec3d(180, -12, 25);
    std::mt19937 rng(setup.seed);
    std::normal_distribution<double> gauss(0, 1);
    const double w = (setup.boardGrid.width - 1) * setup.spacing;
    const double h = (setup.boardGrid.height - 1) * setup.spacing;
    const double cx = w / 2, cy = h / 2, half = std::hypot(w, h) / 2;
    auto bend = [&](double x, double y) {
        const double u = (x - cx) / half, v = (y - cy) / half;
        return setup.bending * (u * u + v * v);
    };
    for (int v = 0; v < setup.views; ++v) {
        // Tilted boards about 550 board units away, spread over the camera's field.
        const double a = 2 * M_PI * v / setup.views;
        const cv::Vec3d rvec(0.45 * std::cos(a), 0.45 * std::sin(a), 0.2 * std::sin(2 * a));
        cv::Matx33d rot;
        cv::Rodrigues(rvec, rot);
        const cv::Vec3d centre(50 * std::cos(a + 1), 40 * std::sin(a + 1), 520 + 50 * (v % 3));
        const cv::Vec3d tvec = centre - rot * cv::Vec3d(cx, cy, 0);
        t.rvecs.push_back(rvec);
        t.tvecs.push_back(tvec);
        RigView view;
        view.imageNumber = v + 1;
        for (int r = 0; r < setup.boardGrid.height; ++r)
            for (int c = 0; c < setup.boardGrid.width; ++c) {
                const double x = c * setup.spacing, y = r * setup.spacing;
                const cv::Point2d px = project(t.camera, rot * cv::Vec3d(x, y, bend(x, y)) + tvec);
                if (!inside(t.camera, px)) continue;
                view.boardPoints.emplace_back(x, y, 0);
                view.cameraPoints.push_back(px + setup.cameraNoisePx *
                                                     cv::Point2d(gauss(rng), gauss(rng)));
            }
        // The projector's pattern: each point's ray meets the (bent) board; found by iterating
        // on the bend's height.
        const cv::Matx33d projFromBoard = t.R * rot;
        const cv::Vec3d projT = t.R * tvec + t.T;
        for (int r = 0; r < setup.patternGrid.height; ++r)
            for (int c = 0; c < setup.patternGrid.width; ++c) {
                const cv::Point2d pattern(
                    40 + (t.projector.imageSize.width - 80.0) * c / (setup.patternGrid.width - 1),
                    40 +
                        (t.projector.imageSize.height - 80.0) * r / (setup.patternGrid.height - 1));
                std::vector<cv::Point2d> in{pattern}, normal;
                cv::undistortPoints(in, normal, cv::Mat(t.projector.cameraMatrix),
                                    t.projector.distortion, cv::noArray(), cv::noArray(),
                                    cv::TermCriteria(cv::TermCriteria::COUNT, 100, 0));
                const cv::Vec3d origin = -(projFromBoard.t() * projT);
                const cv::Vec3d dir = projFromBoard.t() * cv::Vec3d(normal[0].x, normal[0].y, 1);
                double z = 0;
                cv::Vec3d b;
                for (int it = 0; it < 20; ++it) {
                    b = origin + dir * ((z - origin[2]) / dir[2]);
                    z = bend(b[0], b[1]);
                }
                if (b[0] < 0 || b[1] < 0 || b[0] > w || b[1] > h) continue;
                // The exact pattern point of this board point (the undistortion is iterative).
                const cv::Point2d exact = project(t.projector, projFromBoard * b + projT);
                const cv::Point2d seen = project(t.camera, rot * b + tvec);
                if (!inside(t.camera, seen) || !inside(t.projector, exact)) continue;
                view.patternPoints.push_back(exact + setup.projectorNoisePx *
                                                         cv::Point2d(gauss(rng), gauss(rng)));
                view.patternInCamera.push_back(seen + setup.projectedNoisePx *
                                                          cv::Point2d(gauss(rng), gauss(rng)));
            }
        s.views.push_back(view);
    }
    return s;
}

RigInitial perturbedStart(const RigInitial& truth, unsigned seed) {
    std::mt19937 rng(seed + 1000);
    std::uniform_real_distribution<double> u(-1, 1);
    RigInitial s = truth;
    for (RigLens* lens : {&s.camera, &s.projector}) {
        lens->cameraMatrix(0, 0) *= 1 + 0.01 * u(rng);
        lens->cameraMatrix(1, 1) *= 1 + 0.01 * u(rng);
        lens->cameraMatrix(0, 2) += 4 * u(rng);
        lens->cameraMatrix(1, 2) += 4 * u(rng);
        for (double& k : lens->distortion) k *= 1 + 0.1 * u(rng);
    }
    const double deg = M_PI / 180;
    for (std::size_t v = 0; v < s.rvecs.size(); ++v) {
        s.rvecs[v] += cv::Vec3d(u(rng), u(rng), u(rng)) * (deg / std::sqrt(3.0));
        s.tvecs[v] *= 1 + 0.01 * u(rng);
    }
    cv::Matx33d turn;
    cv::Rodrigues(cv::Vec3d(u(rng), u(rng), u(rng)) * (0.5 * deg / std::sqrt(3.0)), turn);
    s.R = turn * s.R;
    s.T *= 1.02;
    return s;
}
