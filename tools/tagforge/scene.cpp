#include "scene.h"

#include <cmath>
#include <filesystem>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

#include "board_layout.h"
#include "forge_outputs.h"
#include "render.h"
#include "scene_effects.h"

namespace fs = std::filesystem;

namespace {
constexpr int kPatternCount = kBoardMarkers;
constexpr double kBoardMarginMm = 40.0;   // white board around the markers
constexpr double kBackground = 150.0;     // grey of the room behind the board
constexpr double kAmbient = 45.0;         // projector series: board lit by the room only
constexpr double kProjectorGain = 195.0;  // projector series: added by full white light
constexpr double kImageMargin = 12.0;     // every marker stays this far inside the image
constexpr int kMaxPoseTries = 20000;
constexpr double kDeg = CV_PI / 180.0;

struct Camera {
    cv::Matx33d k;
    cv::Mat dist;  // k1 k2 p1 p2 k3
    cv::Size size;
};

struct Projector {
    cv::Matx33d k;
    cv::Size size;
    cv::Matx33d rCamToProj;  // x_proj = R x_cam + T
    cv::Vec3d tCamToProj;
};

struct View {
    cv::Matx33d r;  // board to camera
    cv::Vec3d t;
};

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

// Normalised undistorted camera coordinates at the pixel corners (i - 0.5, j - 0.5),
// interpolated bilinearly for the sub-samples: the lens is smooth at pixel scale.
class LensGrid {
  public:
    explicit LensGrid(const Camera& cam) : w_(cam.size.width + 1), h_(cam.size.height + 1) {
        std::vector<cv::Point2d> corners;
        corners.reserve(static_cast<std::size_t>(w_) * h_);
        for (int j = 0; j < h_; ++j)
            for (int i = 0; i < w_; ++i) corners.emplace_back(i - 0.5, j - 0.5);
        cv::undistortPoints(
            corners, grid_, cv::Mat(cam.k), cam.dist, cv::noArray(), cv::noArray(),
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 40, 1e-12));
    }
    void normalised(double x, double y, double* nx, double* ny) const {
        const double gx = x + 0.5, gy = y + 0.5;
        const int i = std::min(static_cast<int>(gx), w_ - 2),
                  j = std::min(static_cast<int>(gy), h_ - 2);
        const double fx = gx - i, fy = gy - j;
        const cv::Point2d& a = grid_[j * w_ + i];
        const cv::Point2d& b = grid_[j * w_ + i + 1];
        const cv::Point2d& c = grid_[(j + 1) * w_ + i];
        const cv::Point2d& d = grid_[(j + 1) * w_ + i + 1];
        *nx = (1 - fy) * ((1 - fx) * a.x + fx * b.x) + fy * ((1 - fx) * c.x + fx * d.x);
        *ny = (1 - fy) * ((1 - fx) * a.y + fx * b.y) + fy * ((1 - fx) * c.y + fx * d.y);
    }

  private:
    int w_, h_;
    std::vector<cv::Point2d> grid_;
};

// Board point (x, y) seen through camera ray (nx, ny, 1); false when the ray misses the plane.
bool rayToBoard(const View& v, double nx, double ny, double* bx, double* by, cv::Vec3d* camPoint) {
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

std::vector<cv::Point2d> projectToCamera(const Camera& cam, const View& v,
                                         const std::vector<cv::Point3d>& pts) {
    std::vector<cv::Point2d> out;
    cv::Mat rvec;
    cv::Rodrigues(cv::Mat(v.r), rvec);
    cv::projectPoints(pts, rvec, cv::Mat(v.t), cv::Mat(cam.k), cam.dist, out);
    return out;
}

// Board point hit by the projector ray through projector pixel (u, v).
bool projectorPixelToBoard(const Projector& p, const View& v, double u, double w,
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

struct Layouts {
    MarkerLayout board;       // millimetres
    MarkerLayout projection;  // projector pixels
    double projOffsetX, projOffsetY;
};

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

// Projector pixel centre of every projected marker, ids 0..62 (pixel centres at integers).
std::vector<cv::Point2d> projectedCentres(const Layouts& l) {
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

bool insideImage(const cv::Size& size, const std::vector<cv::Point2d>& pts) {
    for (const cv::Point2d& p : pts)
        if (!(p.x > kImageMargin && p.y > kImageMargin && p.x < size.width - 1 - kImageMargin &&
              p.y < size.height - 1 - kImageMargin))
            return false;
    return true;
}

// The four projector-pixel corners of every projected marker, as board points.
bool projectedCornersOnBoard(const Projector& p, const View& v, const Layouts& l,
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

// Draws board poses until one shows every printed and every projected marker well inside
// the image (or, failing that, every printed one). Tilts alternate in sign over the views so that
// the set constrains the camera.
bool choosePose(int index, std::mt19937& rng, const Camera& cam, const Projector& proj,
                const Layouts& l, const SceneOptions& o, View* v) {
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
        View candidate{r, centre - r * cv::Vec3d(bw / 2, bh / 2, 0)};
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

// Optics, brightness gradient, vignetting, noise and processing, deterministic for a seed.
cv::Mat finish(const cv::Mat& rendered, const SceneOptions& o, unsigned seed, double bloom) {
    cv::Mat f;
    rendered.convertTo(f, CV_32FC3);
    PhotoLook look;
    look.blur = o.blur;
    look.defocusEdge = o.defocusEdge;
    look.bloom = bloom;
    look.sharpen = o.sharpen;
    applyOptics(look, &f);
    if (o.gradient > 0) {
        for (int y = 0; y < f.rows; ++y) {
            cv::Vec3f* row = f.ptr<cv::Vec3f>(y);
            for (int x = 0; x < f.cols; ++x) {
                const double t =
                    0.5 * (static_cast<double>(x) / f.cols + static_cast<double>(y) / f.rows);
                row[x] *= static_cast<float>(1.0 - o.gradient * t);
            }
        }
    }
    applyVignetting(o.vignetting, &f);
    if (o.noise > 0) {
        cv::Mat noise(f.size(), CV_32FC3);
        cv::RNG rng(seed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, o.noise);
        f += noise;
    }
    cv::Mat out;
    f.convertTo(out, CV_8UC3);
    return applyCameraProcessing(look, out);
}

bool writePhoto(const std::string& path, const cv::Mat& photo, int jpegQuality) {
    if (jpegQuality <= 0) return writeImage(path, photo);
    try {
        return cv::imwrite(path, photo, {cv::IMWRITE_JPEG_QUALITY, jpegQuality});
    } catch (const cv::Exception&) {
        return false;
    }
}

// Projector light reaching the board for a pattern value 0..255.
double projectedLight(const SceneOptions& o, double value) {
    double light = value / 255.0;
    if (o.gamma != 1.0) light = std::pow(light, o.gamma);
    return o.blackLevel + (1.0 - o.blackLevel) * light;
}

void writeIdList(cv::FileStorage& fs, const std::string& key, const std::vector<int>& ids) {
    fs << key << "[";
    for (int id : ids) fs << id;
    fs << "]";
}

void writeMatrix(cv::FileStorage& fs, const std::string& key, const cv::Mat& m) {
    fs << key << m;
}
}  // namespace

int generateScene(const SceneOptions& o, std::string* error) {
    if (o.views < 1 || o.cameraWidth < 64 || o.cameraHeight < 64 || o.projectorWidth < 64 ||
        o.projectorHeight < 64 || o.markSize <= 0 || o.spaceX < 0 || o.spaceY < 0 ||
        o.supersampling < 1 || o.noise < 0 || o.blur < 0 || o.gradient < 0 || o.gradient >= 1 ||
        o.tiltMin < 0 || o.tiltMax < o.tiltMin || o.tiltMax >= 80 || o.gamma <= 0 ||
        o.blackLevel < 0 || o.blackLevel >= 1 || o.vignetting < 0 || o.vignetting >= 1) {
        *error = "impossible scene options (sizes, counts and strengths must be positive)";
        return -1;
    }
    // The clutter photo first: a scene that cannot be made leaves nothing behind.
    cv::Mat clutter;
    if (!o.clutter.empty()) {
        clutter = loadClutter(o.clutter, cv::Size(o.cameraWidth, o.cameraHeight), error);
        if (clutter.empty()) return -1;
    }
    std::error_code ec;
    for (const char* sub : {"data", "images", "info/cam", "info/proj", "test", "points"})
        fs::create_directories(fs::path(o.outDir) / sub, ec);
    if (ec) {
        *error = "cannot create folders under " + o.outDir + ": " + ec.message();
        return -1;
    }

    std::vector<MarkerPicture> pictures;
    double worst = 0;
    if (!writePatternSet(o.outDir + "/data", kPatternCount, o.seed, &pictures, &worst, error))
        return -1;

    Layouts l{};
    l.board = MarkerLayout{o.markSize, o.spaceX, o.spaceY, false, kPatternCount};
    if (!projectionLayout(o.projectorWidth, o.projectorHeight, kPatternCount, &l.projection,
                          &l.projOffsetX, &l.projOffsetY)) {
        *error = "the projected markers do not fit a " + std::to_string(o.projectorWidth) + " x " +
                 std::to_string(o.projectorHeight) + " projector";
        return -1;
    }
    const cv::Mat projection = renderProjectionImage(pictures, o.projectorWidth, o.projectorHeight,
                                                     l.projection, l.projOffsetX, l.projOffsetY);
    if (!writeImage(o.outDir + "/projection.png", projection) ||
        !writeIdentityCameraParamFile(o.outDir + "/camparam.dat", o.cameraWidth, o.cameraHeight)) {
        *error = "cannot write into " + o.outDir;
        return -1;
    }

    std::mt19937 rng(o.seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    Camera cam;
    cam.size = cv::Size(o.cameraWidth, o.cameraHeight);
    const double f = 1.1 * o.cameraWidth * (1.0 + 0.02 * jitter(rng));
    cam.k = cv::Matx33d(f, 0, o.cameraWidth * (0.5 + 0.015 * jitter(rng)), 0,
                        f * (1.0 + 0.002 * jitter(rng)),
                        o.cameraHeight * (0.5 + 0.015 * jitter(rng)), 0, 0, 1);
    cam.dist = (cv::Mat_<double>(1, 5) << -0.12, 0.09, 0.0008, -0.0006, -0.02) * o.distortion;

    Projector proj;
    proj.size = cv::Size(o.projectorWidth, o.projectorHeight);
    // The projector sits beside the camera, turned towards the board; its lens is shifted
    // upward as usual for projectors (principal point low in the image).
    const double fp = 1.8 * o.projectorWidth * (1.0 + 0.02 * jitter(rng));
    proj.k = cv::Matx33d(fp, 0, o.projectorWidth * (0.5 + 0.01 * jitter(rng)), 0, fp,
                         o.projectorHeight * 0.62, 0, 0, 1);
    const cv::Vec3d projectorCentre(160.0 + 10 * jitter(rng), -30.0 + 5 * jitter(rng), 10.0);
    // Aim the centre of the projected image at the middle of the board's working volume.
    const double workingDistance =
        1.1 * o.cameraWidth *
        (layoutWidth(MarkerLayout{o.markSize, o.spaceX, o.spaceY, false, kPatternCount}) /
         (0.72 * o.cameraWidth));
    const cv::Vec3d centreRay((o.projectorWidth / 2.0 - proj.k(0, 2)) / fp,
                              (o.projectorHeight / 2.0 - proj.k(1, 2)) / fp, 1.0);
    proj.rCamToProj = rotZ(1.0 * kDeg) * lookAlong(centreRay).t() *
                      lookAlong(cv::Vec3d(0, 0, workingDistance) - projectorCentre);
    proj.tCamToProj = -(proj.rCamToProj * projectorCentre);

    const LensGrid lens(cam);
    const std::vector<cv::Point3d> corners3d = boardCorners(l.board);
    const std::vector<cv::Point2d> centresProj = projectedCentres(l);
    const double bw = layoutWidth(l.board), bh = layoutHeight(l.board);

    cv::FileStorage truth(o.outDir + "/truth.yaml", cv::FileStorage::WRITE);
    if (!truth.isOpened()) {
        *error = "cannot write " + o.outDir + "/truth.yaml";
        return -1;
    }
    truth << "image_width" << o.cameraWidth << "image_height" << o.cameraHeight;
    writeMatrix(truth, "camera_matrix", cv::Mat(cam.k));
    writeMatrix(truth, "distortion_coefficients", cam.dist);
    truth << "projector_width" << o.projectorWidth << "projector_height" << o.projectorHeight;
    writeMatrix(truth, "projector_matrix", cv::Mat(proj.k));
    writeMatrix(truth, "R", cv::Mat(proj.rCamToProj));
    writeMatrix(truth, "T", cv::Mat(proj.tCamToProj));
    truth << "MARK_SIZE" << o.markSize << "MARK_SPACE_X" << o.spaceX << "MARK_SPACE_Y" << o.spaceY;
    truth << "boad_rotation" << 0 << "number_of_pattern" << kPatternCount;
    truth << "pattern_worst_score" << worst;
    truth << "projection_mark_size" << l.projection.markSize;
    truth << "views" << o.views;
    truth << "view"
          << "[";
    const std::vector<cv::Point3d> boardOutline = {{0, 0, 0}, {bw, 0, 0}, {bw, bh, 0}, {0, bh, 0}};
    const std::vector<cv::Point3d> sheetOutline = {{-kBoardMarginMm, -kBoardMarginMm, 0},
                                                   {bw + kBoardMarginMm, -kBoardMarginMm, 0},
                                                   {bw + kBoardMarginMm, bh + kBoardMarginMm, 0},
                                                   {-kBoardMarginMm, bh + kBoardMarginMm, 0}};

    for (int i = 0; i < o.views; ++i) {
        View v;
        if (!choosePose(i, rng, cam, proj, l, o, &v)) {
            *error = "no board pose fits the camera and projector for view " + std::to_string(i);
            return -1;
        }
        // Hands and stray printouts of this view, drawn from their own generator so that
        // the poses do not depend on them.
        std::mt19937 effects(o.seed * 7919u + static_cast<unsigned>(i));
        const std::vector<cv::Point2d> markerArea = projectToCamera(cam, v, boardOutline);
        const std::vector<Occluder> hands = makeHands(o.hands, markerArea, effects);
        const std::vector<cv::Point2d> firstMarker =
            projectToCamera(cam, v, {corners3d[0], corners3d[1], corners3d[2], corners3d[3]});
        const double markerSide =
            0.25 *
            (cv::norm(firstMarker[0] - firstMarker[1]) + cv::norm(firstMarker[1] - firstMarker[2]) +
             cv::norm(firstMarker[2] - firstMarker[3]) + cv::norm(firstMarker[3] - firstMarker[0]));
        const std::vector<StrayMarker> strays =
            placeStrays(o.strays, kPatternCount, markerSide, cam.size,
                        projectToCamera(cam, v, sheetOutline), effects);
        const auto camColour = [&](double x, double y, float bgr[3], bool lit) {
            if (!hands.empty() && occluderColour(hands, x, y, bgr)) {
                if (lit)
                    for (int k = 0; k < 3; ++k) bgr[k] = 0.6f * bgr[k] + float(o.roomLight);
                return;
            }
            double nx, ny, bx, by;
            cv::Vec3d p;
            lens.normalised(x, y, &nx, &ny);
            const bool onBoard = rayToBoard(v, nx, ny, &bx, &by, &p) && bx > -kBoardMarginMm &&
                                 by > -kBoardMarginMm && bx < bw + kBoardMarginMm &&
                                 by < bh + kBoardMarginMm;
            if (!onBoard) {
                bool drawn = !strays.empty() && strayColour(strays, pictures, x, y, bgr);
                if (!drawn && !clutter.empty()) {
                    const int cx =
                        std::clamp(static_cast<int>(std::lround(x)), 0, clutter.cols - 1);
                    const int cy =
                        std::clamp(static_cast<int>(std::lround(y)), 0, clutter.rows - 1);
                    const cv::Vec3b c = clutter.at<cv::Vec3b>(cy, cx);
                    for (int k = 0; k < 3; ++k) bgr[k] = c[k];
                    drawn = true;
                }
                if (!drawn) {
                    bgr[0] = bgr[1] = bgr[2] = static_cast<float>(kBackground);
                    return;
                }
                if (lit)  // the room is darker while the projector shows its pattern
                    for (int k = 0; k < 3; ++k) bgr[k] = 0.5f * bgr[k] + float(o.roomLight);
                return;
            }
            if (!lit) {
                int id;
                double u, w;
                std::uint8_t c[3] = {255, 255, 255};
                if (markerAt(l.board, bx, by, &id, &u, &w)) markerColour(pictures[id], u, w, c);
                for (int k = 0; k < 3; ++k) bgr[k] = c[k] * 0.92f + 8.0f;
                return;
            }
            const cv::Vec3d q = proj.rCamToProj * p + proj.tCamToProj;
            const double pu = proj.k(0, 0) * q[0] / q[2] + proj.k(0, 2);
            const double pv = proj.k(1, 1) * q[1] / q[2] + proj.k(1, 2);
            const int iu = static_cast<int>(std::floor(pu + 0.5)),
                      iv = static_cast<int>(std::floor(pv + 0.5));
            cv::Vec3b light(0, 0, 0);
            if (q[2] > 0 && iu >= 0 && iv >= 0 && iu < o.projectorWidth && iv < o.projectorHeight)
                light = projection.at<cv::Vec3b>(iv, iu);
            const bool linear = o.gamma == 1.0 && o.blackLevel == 0.0;
            for (int k = 0; k < 3; ++k)
                bgr[k] =
                    static_cast<float>(kAmbient + o.roomLight +
                                       (linear ? kProjectorGain * light[k] / 255.0
                                               : kProjectorGain * projectedLight(o, light[k])));
        };
        const cv::Mat camImage = renderSupersampled(
            cam.size, o.supersampling,
            [&](double x, double y, float bgr[3]) { camColour(x, y, bgr, false); });
        const cv::Mat projImage = renderSupersampled(
            cam.size, o.supersampling,
            [&](double x, double y, float bgr[3]) { camColour(x, y, bgr, true); });
        char name[64];
        const char* ext = o.jpegQuality > 0 ? "jpg" : "png";
        std::snprintf(name, sizeof name, "/images/cam%03d.%s", i, ext);
        const bool camOk = writePhoto(
            o.outDir + name, finish(camImage, o, o.seed * 1000u + 2u * i, 0.0), o.jpegQuality);
        std::snprintf(name, sizeof name, "/images/proj%03d.%s", i, ext);
        const bool projOk =
            writePhoto(o.outDir + name, finish(projImage, o, o.seed * 1000u + 2u * i + 1u, o.bloom),
                       o.jpegQuality);
        if (!camOk || !projOk) {
            *error = "cannot write the images of view " + std::to_string(i);
            return -1;
        }

        // Ground truth of the view.
        cv::Mat rvec;
        cv::Rodrigues(cv::Mat(v.r), rvec);
        const std::vector<cv::Point2d> imageCorners = projectToCamera(cam, v, corners3d);
        cv::Mat cornerTable(kBoardMarkers, 9, CV_64F);
        for (int id = 0; id < kBoardMarkers; ++id) {
            cornerTable.at<double>(id, 0) = id;
            for (int p = 0; p < 4; ++p) {
                cornerTable.at<double>(id, 1 + 2 * p) = imageCorners[4 * id + p].x;
                cornerTable.at<double>(id, 2 + 2 * p) = imageCorners[4 * id + p].y;
            }
        }
        std::vector<cv::Point3d> centreOnBoard(kBoardMarkers);
        for (int id = 0; id < kBoardMarkers; ++id)
            projectorPixelToBoard(proj, v, centresProj[id].x, centresProj[id].y,
                                  &centreOnBoard[id]);
        const std::vector<cv::Point2d> centresCam = projectToCamera(cam, v, centreOnBoard);
        cv::Mat projected(kBoardMarkers, 5, CV_64F);
        for (int id = 0; id < kBoardMarkers; ++id) {
            projected.at<double>(id, 0) = id;
            projected.at<double>(id, 1) = centresCam[id].x;
            projected.at<double>(id, 2) = centresCam[id].y;
            projected.at<double>(id, 3) = centresProj[id].x;
            projected.at<double>(id, 4) = centresProj[id].y;
        }
        // Markers that a hand covers, rim included (their edges or corners may be hidden).
        std::vector<int> hidden, hiddenProjected;
        std::vector<cv::Point3d> projectedOnBoard;
        const bool projectedKnown = projectedCornersOnBoard(proj, v, l, &projectedOnBoard);
        const std::vector<cv::Point2d> projectedInImage =
            projectedKnown ? projectToCamera(cam, v, projectedOnBoard) : std::vector<cv::Point2d>();
        for (int col = 0, q = 0; col < kMarkColumns; ++col)
            for (int row = 0; row < kMarkRows; ++row, ++q) {
                const int id = markerIdAt(l.board, col, row);
                const cv::Point2d quad[4] = {imageCorners[4 * id], imageCorners[4 * id + 1],
                                             imageCorners[4 * id + 2], imageCorners[4 * id + 3]};
                if (quadTouched(hands, quad, 0.25)) hidden.push_back(id);
                if (!projectedKnown) continue;
                const cv::Point2d pq[4] = {projectedInImage[4 * q], projectedInImage[4 * q + 1],
                                           projectedInImage[4 * q + 2],
                                           projectedInImage[4 * q + 3]};
                if (quadTouched(hands, pq, 0.25))
                    hiddenProjected.push_back(markerIdAt(l.projection, col, row));
            }
        std::sort(hidden.begin(), hidden.end());
        std::sort(hiddenProjected.begin(), hiddenProjected.end());
        cv::Mat strayTable(static_cast<int>(strays.size()), 4, CV_64F);
        for (int k = 0; k < strayTable.rows; ++k) {
            strayTable.at<double>(k, 0) = strays[k].id;
            strayTable.at<double>(k, 1) = strays[k].centre.x;
            strayTable.at<double>(k, 2) = strays[k].centre.y;
            strayTable.at<double>(k, 3) = strays[k].side;
        }
        truth << "{"
              << "rvec" << rvec << "tvec" << cv::Mat(v.t) << "R" << cv::Mat(v.r);
        truth << "corners" << cornerTable << "projected" << projected;
        writeIdList(truth, "hidden", hidden);
        writeIdList(truth, "hidden_projected", hiddenProjected);
        if (!strays.empty()) truth << "strays" << strayTable;
        truth << "}";
    }
    truth << "]";
    truth.release();
    return 0;
}
