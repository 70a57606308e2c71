#include "scene_rig.h"

#include <cmath>
#include <opencv2/calib3d.hpp>

namespace {
constexpr double kImageMargin = 12.0;  // every marker stays this far inside the image
// Poses drawn for one view before it is given up: steep tilt ranges need many.
constexpr int kMaxPoseTries = 20000;
constexpr double kDeg = CV_PI / 180.0;
// Camera focal length in image widths: a normal lens, about 50 degrees across.
constexpr double kCameraFocalWidths = 1.1;

cv::Matx33d rotX(double a) {
    return {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)};
}
cv::Matx33d rotY(double a) {
    return {std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a)};
}
cv::Matx33d rotZ(double a) {
    return {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1};
}

// Rotation whose rows are a frame with its z axis along dir and its x axis horizontal:
// it maps dir to (0, 0, 1).
cv::Matx33d lookAlong(const cv::Vec3d& dir) {
    const cv::Vec3d z = cv::normalize(dir);
    const cv::Vec3d x = cv::normalize(cv::Vec3d(0, 1, 0).cross(z));
    const cv::Vec3d y = z.cross(x);
    return {x[0], x[1], x[2], y[0], y[1], y[2], z[0], z[1], z[2]};
}

bool insideImage(const cv::Size& size, const std::vector<cv::Point2d>& pts) {
    for (const cv::Point2d& p : pts)
        if (!(p.x > kImageMargin && p.y > kImageMargin && p.x < size.width - 1 - kImageMargin &&
              p.y < size.height - 1 - kImageMargin))
            return false;
    return true;
}
}  // namespace

// Board point (x, y) seen through camera ray (nx, ny, 1); false when the ray misses the plane.
bool rayToBoard(const BoardPose& v, double nx, double ny, double* bx, double* by,
                cv::Vec3d* camPoint) {
    const cv::Vec3d n(v.r(0, 2), v.r(1, 2), v.r(2, 2));
    const cv::Vec3d d(nx, ny, 1.0);
    const double denom = n.dot(d);
    if (std::fabs(denom) < 1e-12) return false;
    const double s = n.dot(v.t) / denom;
    if (s <= 0) return false;
    const cv::Vec3d p = s * d;
    const cv::Vec3d b = v.r.t() * (p - v.t);
    *bx = b[0];
    *by = b[1];
    *camPoint = p;
    return true;
}

std::vector<cv::Point2d> projectToCamera(const SceneCamera& cam, const BoardPose& v,
                                         const std::vector<cv::Point3d>& pts) {
    std::vector<cv::Point2d> out;
    cv::Mat rvec;
    cv::Rodrigues(cv::Mat(v.r), rvec);
    cv::projectPoints(pts, rvec, cv::Mat(v.t), cv::Mat(cam.k), cam.dist, out);
    return out;
}

// Board point hit by the projector ray through projector pixel (u, v).
bool projectorPixelToBoard(const SceneProjector& p, const BoardPose& v, double u, double w,
                           cv::Point3d* board) {
    const cv::Vec3d dirProj((u - p.k(0, 2)) / p.k(0, 0), (w - p.k(1, 2)) / p.k(1, 1), 1.0);
    const cv::Vec3d origin = -(p.rCamToProj.t() * p.tCamToProj);
    const cv::Vec3d dir = p.rCamToProj.t() * dirProj;
    const cv::Vec3d n(v.r(0, 2), v.r(1, 2), v.r(2, 2));
    const double denom = n.dot(dir);
    if (std::fabs(denom) < 1e-12) return false;
    const double s = n.dot(v.t - origin) / denom;
    if (s <= 0) return false;
    const cv::Vec3d b = v.r.t() * (origin + s * dir - v.t);
    *board = cv::Point3d(b[0], b[1], 0.0);
    return true;
}

// Board corners of every marker in the detector's corner order (0: larger X and Y, 1:
// smaller X larger Y, 2: smaller both, 3: larger X smaller Y), ids 0..62.
std::vector<cv::Point3d> boardCorners(const MarkerLayout& l) {
    std::vector<cv::Point3d> pts(4 * kBoardMarkers);
    for (int col = 0; col < kMarkColumns; ++col)
        for (int row = 0; row < kMarkRows; ++row) {
            double x0, y0;
            markerOrigin(l, col, row, &x0, &y0);
            const double x1 = x0 + l.markSize, y1 = y0 + l.markSize;
            const int id = markerIdAt(l, col, row);
            pts[4 * id + 0] = {x1, y1, 0};
            pts[4 * id + 1] = {x0, y1, 0};
            pts[4 * id + 2] = {x0, y0, 0};
            pts[4 * id + 3] = {x1, y0, 0};
        }
    return pts;
}

// SceneProjector pixel centre of every projected marker, ids 0..62 (pixel centres at integers).
std::vector<cv::Point2d> projectedCentres(const SceneLayouts& l) {
    std::vector<cv::Point2d> c(kBoardMarkers);
    for (int col = 0; col < kMarkColumns; ++col)
        for (int row = 0; row < kMarkRows; ++row) {
            double x0, y0;
            markerOrigin(l.projection, col, row, &x0, &y0);
            const double half = (l.projection.markSize - 1) / 2.0;
            c[markerIdAt(l.projection, col, row)] = {l.projOffsetX + x0 + half,
                                                     l.projOffsetY + y0 + half};
        }
    return c;
}

// The four projector-pixel corners of every projected marker, as board points.
bool projectedCornersOnBoard(const SceneProjector& p, const BoardPose& v, const SceneLayouts& l,
                             std::vector<cv::Point3d>* out) {
    out->clear();
    const double bw = layoutWidth(l.board), bh = layoutHeight(l.board);
    for (int col = 0; col < kMarkColumns; ++col)
        for (int row = 0; row < kMarkRows; ++row) {
            double x0, y0;
            markerOrigin(l.projection, col, row, &x0, &y0);
            const double s = l.projection.markSize;
            for (const auto& [dx, dy] :
                 {std::pair{0.0, 0.0}, std::pair{s, 0.0}, std::pair{s, s}, std::pair{0.0, s}}) {
                cv::Point3d b;
                if (!projectorPixelToBoard(p, v, l.projOffsetX + x0 + dx - 0.5,
                                           l.projOffsetY + y0 + dy - 0.5, &b))
                    return false;
                if (b.x < -kBoardMarginMm + 5 || b.y < -kBoardMarginMm + 5 ||
                    b.x > bw + kBoardMarginMm - 5 || b.y > bh + kBoardMarginMm - 5)
                    return false;
                out->push_back(b);
            }
        }
    return true;
}

bool choosePose(int index, std::mt19937& rng, const SceneRig& rig, const SceneLayouts& l,
                const SceneOptions& o, BoardPose* v) {
    const SceneCamera& cam = rig.camera;
    const SceneProjector& proj = rig.projector;
    std::uniform_real_distribution<double> tilt(o.tiltMin, o.tiltMax), turn(-18.0, 18.0),
        depth(0.0, 1.0), shift(-1.0, 1.0);
    const double bw = layoutWidth(l.board), bh = layoutHeight(l.board);
    const double signX = (index % 2) ? 1 : -1, signY = ((index / 2) % 2) ? 1 : -1;
    std::vector<cv::Point3d> projected;
    for (int tries = 0; tries < kMaxPoseTries; ++tries) {
        const double ax = signX * tilt(rng) * kDeg, ay = signY * tilt(rng) * kDeg * 0.8;
        const double az = turn(rng) * kDeg;
        const cv::Matx33d r = rotZ(az) * rotX(ax) * rotY(ay);
        const double z = cam.k(0, 0) * bw / (cam.size.width * (0.62 + 0.2 * depth(rng)));
        const cv::Vec3d centre(shift(rng) * 0.08 * z, shift(rng) * 0.06 * z, z);
        BoardPose candidate{r, centre - r * cv::Vec3d(bw / 2, bh / 2, 0)};
        if (!insideImage(cam.size, projectToCamera(cam, candidate, boardCorners(l.board))))
            continue;
        // Steep poses seldom catch the whole projected pattern: after half the tries the
        // projector photo may show only part of it.
        const bool wholePattern = tries < kMaxPoseTries / 2;
        if (wholePattern && !projectedCornersOnBoard(proj, candidate, l, &projected)) continue;
        if (wholePattern && !insideImage(cam.size, projectToCamera(cam, candidate, projected)))
            continue;
        *v = candidate;
        return true;
    }
    return false;
}

namespace {
// A real camera's focal length and principal point, jittered by a few percent per scene.
SceneCamera makeCamera(const SceneOptions& o, std::mt19937& rng) {
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    SceneCamera cam;
    cam.size = cv::Size(o.cameraWidth, o.cameraHeight);
    const double f = kCameraFocalWidths * o.cameraWidth * (1.0 + 0.02 * jitter(rng));
    cam.k = cv::Matx33d(f, 0, o.cameraWidth * (0.5 + 0.015 * jitter(rng)), 0,
                        f * (1.0 + 0.002 * jitter(rng)),
                        o.cameraHeight * (0.5 + 0.015 * jitter(rng)), 0, 0, 1);
    cam.dist = (cv::Mat_<double>(1, 5) << -0.12, 0.09, 0.0008, -0.0006, -0.02) * o.distortion;
    return cam;
}

// The projector sits beside the camera, turned towards the board; its lens is shifted
// upward as usual for projectors (principal point low in the image).
SceneProjector makeProjector(const SceneOptions& o, std::mt19937& rng) {
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    SceneProjector proj;
    proj.size = cv::Size(o.projectorWidth, o.projectorHeight);
    const double fp = 1.8 * o.projectorWidth * (1.0 + 0.02 * jitter(rng));
    proj.k = cv::Matx33d(fp, 0, o.projectorWidth * (0.5 + 0.01 * jitter(rng)), 0, fp,
                         o.projectorHeight * 0.62, 0, 0, 1);
    const cv::Vec3d projectorCentre(160.0 + 10 * jitter(rng), -30.0 + 5 * jitter(rng), 10.0);
    // Aim the centre of the projected image at the middle of the board's working volume.
    const double workingDistance =
        kCameraFocalWidths * o.cameraWidth *
        (layoutWidth(MarkerLayout{o.markSize, o.spaceX, o.spaceY, false, kScenePatterns}) /
         (0.72 * o.cameraWidth));
    const cv::Vec3d centreRay((o.projectorWidth / 2.0 - proj.k(0, 2)) / fp,
                              (o.projectorHeight / 2.0 - proj.k(1, 2)) / fp, 1.0);
    proj.rCamToProj = rotZ(1.0 * kDeg) * lookAlong(centreRay).t() *
                      lookAlong(cv::Vec3d(0, 0, workingDistance) - projectorCentre);
    proj.tCamToProj = -(proj.rCamToProj * projectorCentre);
    return proj;
}
}  // namespace

SceneRig makeRig(const SceneOptions& o, std::mt19937& rng) {
    SceneRig rig;
    rig.camera = makeCamera(o, rng);  // first: the projector's jitter follows the camera's
    rig.projector = makeProjector(o, rng);
    return rig;
}
