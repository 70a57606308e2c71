#include "scene_shader.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>

#include "board_layout.h"

namespace {
constexpr double kBackground = 150.0;     // grey of the room behind the board
constexpr double kAmbient = 45.0;         // projector series: board lit by the room only
constexpr double kProjectorGain = 195.0;  // projector series: added by full white light
// Print on the board: the ink is not quite black, the paper not quite white (8 .. 243).
constexpr float kPrintContrast = 0.92f;
constexpr float kPrintBlack = 8.0f;
// Share of its own colour a hand and the room keep in the projector photo: the room light
// is dimmed while the projector shows its pattern, the hand is lit a little by it.
constexpr float kHandShareLit = 0.6f;
constexpr float kRoomShareLit = 0.5f;
// The lens grid is undistorted to far below a pixel's sampling: at most this many steps,
// until they move less than this (normalised coordinates).
constexpr int kLensGridSteps = 40;
constexpr double kLensGridSettled = 1e-12;

// Projector light reaching the board for a pattern value 0..255.
double projectedLight(const SceneOptions& o, double value) {
    double light = value / 255.0;
    if (o.gamma != 1.0) light = std::pow(light, o.gamma);
    return o.blackLevel + (1.0 - o.blackLevel) * light;
}

// The room around the board sheet: a stray printout, the clutter photo or plain grey.
void shadeRoom(const Shading& s, double x, double y, bool lit, float bgr[3]) {
    const SceneOptions& o = s.options;
    const cv::Mat& clutter = s.assets.clutter;
    bool drawn = !s.view.strays.empty() && strayColour(s.view.strays, s.assets.pictures, x, y, bgr);
    if (!drawn && !clutter.empty()) {
        const int cx = std::clamp(static_cast<int>(std::lround(x)), 0, clutter.cols - 1);
        const int cy = std::clamp(static_cast<int>(std::lround(y)), 0, clutter.rows - 1);
        const cv::Vec3b c = clutter.at<cv::Vec3b>(cy, cx);
        for (int k = 0; k < 3; ++k) bgr[k] = c[k];
        drawn = true;
    }
    if (!drawn) {
        bgr[0] = bgr[1] = bgr[2] = static_cast<float>(kBackground);
        return;
    }
    if (lit)
        for (int k = 0; k < 3; ++k) bgr[k] = kRoomShareLit * bgr[k] + float(o.roomLight);
}

// The printed board at board point (bx, by): a marker's picture or the white sheet.
void shadePrint(const Shading& s, double bx, double by, float bgr[3]) {
    int id;
    double u, w;
    std::uint8_t c[3] = {255, 255, 255};
    if (markerAt(s.assets.layouts.board, bx, by, &id, &u, &w))
        markerColour(s.assets.pictures[id], u, w, c);
    for (int k = 0; k < 3; ++k) bgr[k] = c[k] * kPrintContrast + kPrintBlack;
}

// The projected pattern's light on board point p (camera coordinates), over the ambient.
void shadeProjection(const Shading& s, const cv::Vec3d& p, float bgr[3]) {
    const SceneOptions& o = s.options;
    const SceneProjector& proj = s.rig.projector;
    const cv::Vec3d q = proj.rCamToProj * p + proj.tCamToProj;
    const double pu = proj.k(0, 0) * q[0] / q[2] + proj.k(0, 2);
    const double pv = proj.k(1, 1) * q[1] / q[2] + proj.k(1, 2);
    const int iu = static_cast<int>(std::floor(pu + 0.5)),
              iv = static_cast<int>(std::floor(pv + 0.5));
    cv::Vec3b light(0, 0, 0);
    if (q[2] > 0 && iu >= 0 && iv >= 0 && iu < o.projectorWidth && iv < o.projectorHeight)
        light = s.assets.projection.at<cv::Vec3b>(iv, iu);
    const bool linear = o.gamma == 1.0 && o.blackLevel == 0.0;
    for (int k = 0; k < 3; ++k)
        bgr[k] = static_cast<float>(kAmbient + o.roomLight +
                                    (linear ? kProjectorGain * light[k] / 255.0
                                            : kProjectorGain * projectedLight(o, light[k])));
}
}  // namespace

LensGrid makeLensGrid(const SceneCamera& cam) {
    LensGrid lens;
    lens.width = cam.size.width + 1;
    lens.height = cam.size.height + 1;
    std::vector<cv::Point2d> corners;
    corners.reserve(static_cast<std::size_t>(lens.width) * lens.height);
    for (int j = 0; j < lens.height; ++j)
        for (int i = 0; i < lens.width; ++i) corners.emplace_back(i - 0.5, j - 0.5);
    cv::undistortPoints(corners, lens.corners, cv::Mat(cam.k), cam.dist, cv::noArray(),
                        cv::noArray(),
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS,
                                         kLensGridSteps, kLensGridSettled));
    return lens;
}

void normalisedRay(const LensGrid& lens, double x, double y, double* nx, double* ny) {
    const int w = lens.width;
    const double gx = x + 0.5, gy = y + 0.5;
    const int i = std::min(static_cast<int>(gx), w - 2),
              j = std::min(static_cast<int>(gy), lens.height - 2);
    const double fx = gx - i, fy = gy - j;
    const cv::Point2d& a = lens.corners[j * w + i];
    const cv::Point2d& b = lens.corners[j * w + i + 1];
    const cv::Point2d& c = lens.corners[(j + 1) * w + i];
    const cv::Point2d& d = lens.corners[(j + 1) * w + i + 1];
    *nx = (1 - fy) * ((1 - fx) * a.x + fx * b.x) + fy * ((1 - fx) * c.x + fx * d.x);
    *ny = (1 - fy) * ((1 - fx) * a.y + fx * b.y) + fy * ((1 - fx) * c.y + fx * d.y);
}

void shadePixel(const Shading& s, double x, double y, bool lit, float bgr[3]) {
    const std::vector<Occluder>& hands = s.view.hands;
    if (!hands.empty() && occluderColour(hands, x, y, bgr)) {
        if (lit)
            for (int k = 0; k < 3; ++k)
                bgr[k] = kHandShareLit * bgr[k] + float(s.options.roomLight);
        return;
    }
    const double bw = layoutWidth(s.assets.layouts.board),
                 bh = layoutHeight(s.assets.layouts.board);
    double nx, ny, bx, by;
    cv::Vec3d p;
    normalisedRay(s.lens, x, y, &nx, &ny);
    const bool onBoard = rayToBoard(s.view.pose, nx, ny, &bx, &by, &p) && bx > -kBoardMarginMm &&
                         by > -kBoardMarginMm && bx < bw + kBoardMarginMm &&
                         by < bh + kBoardMarginMm;
    if (!onBoard)
        shadeRoom(s, x, y, lit, bgr);
    else if (!lit)
        shadePrint(s, bx, by, bgr);
    else
        shadeProjection(s, p, bgr);
}

cv::Mat finishPhoto(const cv::Mat& rendered, const SceneOptions& o, unsigned seed, double bloom) {
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
