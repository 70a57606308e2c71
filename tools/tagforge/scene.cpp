#include "scene.h"

#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <random>

#include "board_layout.h"
#include "forge_outputs.h"
#include "render.h"
#include "scene_effects.h"
#include "scene_rig.h"
#include "scene_shader.h"
#include "scene_truth.h"

namespace fs = std::filesystem;

namespace {
// Seeds of a view's effects (scene seed times a prime, plus the view) and of its two photos'
// noise (scene seed times this, plus two per view): apart for every scene and view, as the
// views stay below 300.
constexpr unsigned kEffectsSeedStride = 7919u;
constexpr unsigned kNoiseSeedStride = 1000u;

bool validOptions(const SceneOptions& o) {
    return !(o.views < 1 || o.cameraWidth < 64 || o.cameraHeight < 64 || o.projectorWidth < 64 ||
             o.projectorHeight < 64 || o.markSize <= 0 || o.spaceX < 0 || o.spaceY < 0 ||
             o.supersampling < 1 || o.noise < 0 || o.blur < 0 || o.gradient < 0 ||
             o.gradient >= 1 || o.tiltMin < 0 || o.tiltMax < o.tiltMin || o.tiltMax >= 80 ||
             o.gamma <= 0 || o.blackLevel < 0 || o.blackLevel >= 1 || o.vignetting < 0 ||
             o.vignetting >= 1);
}

// The pattern files, the layouts, projection.png and camparam.dat. Returns 0 or -1.
int writeSceneFiles(const SceneOptions& o, SceneAssets* a, std::string* error) {
    if (!writePatternSet(o.outDir + "/data", kScenePatterns, o.seed, &a->pictures,
                         &a->worstPatternScore, error))
        return -1;
    SceneLayouts& l = a->layouts;
    l.board = MarkerLayout{o.markSize, o.spaceX, o.spaceY, false, kScenePatterns};
    if (!projectionLayout(o.projectorWidth, o.projectorHeight, kScenePatterns, &l.projection,
                          &l.projOffsetX, &l.projOffsetY)) {
        *error = "the projected markers do not fit a " + std::to_string(o.projectorWidth) + " x " +
                 std::to_string(o.projectorHeight) + " projector";
        return -1;
    }
    a->projection = renderProjectionImage(a->pictures, o.projectorWidth, o.projectorHeight,
                                          l.projection, l.projOffsetX, l.projOffsetY);
    if (!writeImage(o.outDir + "/projection.png", a->projection) ||
        !writeIdentityCameraParamFile(o.outDir + "/camparam.dat", o.cameraWidth, o.cameraHeight)) {
        *error = "cannot write into " + o.outDir;
        return -1;
    }
    return 0;
}

// Hands and stray printouts of view i, drawn from their own generator so that the poses do
// not depend on them.
ViewContents viewContents(int i, const BoardPose& pose, const SceneOptions& o, const SceneRig& rig,
                          const SceneLayouts& l) {
    const double bw = layoutWidth(l.board), bh = layoutHeight(l.board);
    const std::vector<cv::Point3d> boardOutline = {{0, 0, 0}, {bw, 0, 0}, {bw, bh, 0}, {0, bh, 0}};
    const std::vector<cv::Point3d> sheetOutline = {{-kBoardMarginMm, -kBoardMarginMm, 0},
                                                   {bw + kBoardMarginMm, -kBoardMarginMm, 0},
                                                   {bw + kBoardMarginMm, bh + kBoardMarginMm, 0},
                                                   {-kBoardMarginMm, bh + kBoardMarginMm, 0}};
    const SceneCamera& cam = rig.camera;
    const std::vector<cv::Point3d> corners3d = boardCorners(l.board);
    ViewContents view;
    view.pose = pose;
    std::mt19937 effects(o.seed * kEffectsSeedStride + static_cast<unsigned>(i));
    const std::vector<cv::Point2d> markerArea = projectToCamera(cam, pose, boardOutline);
    view.hands = makeHands(o.hands, markerArea, effects);
    const std::vector<cv::Point2d> firstMarker =
        projectToCamera(cam, pose, {corners3d[0], corners3d[1], corners3d[2], corners3d[3]});
    const double markerSide =
        0.25 *
        (cv::norm(firstMarker[0] - firstMarker[1]) + cv::norm(firstMarker[1] - firstMarker[2]) +
         cv::norm(firstMarker[2] - firstMarker[3]) + cv::norm(firstMarker[3] - firstMarker[0]));
    view.strays = placeStrays(o.strays, kScenePatterns, markerSide, cam.size,
                              projectToCamera(cam, pose, sheetOutline), effects);
    return view;
}

bool writePhoto(const std::string& path, const cv::Mat& photo, int jpegQuality) {
    if (jpegQuality <= 0) return writeImage(path, photo);
    try {
        return cv::imwrite(path, photo, {cv::IMWRITE_JPEG_QUALITY, jpegQuality});
    } catch (const cv::Exception&) {
        return false;
    }
}

// Renders and writes view i's two photos: the board, and the board lit by the projector.
int writeViewPhotos(int i, const Shading& s, std::string* error) {
    const SceneOptions& o = s.options;
    const cv::Size size = s.rig.camera.size;
    const cv::Mat camImage = renderSupersampled(
        size, o.supersampling,
        [&](double x, double y, float bgr[3]) { shadePixel(s, x, y, false, bgr); });
    const cv::Mat projImage = renderSupersampled(
        size, o.supersampling,
        [&](double x, double y, float bgr[3]) { shadePixel(s, x, y, true, bgr); });
    char name[64];
    const char* ext = o.jpegQuality > 0 ? "jpg" : "png";
    std::snprintf(name, sizeof name, "/images/cam%03d.%s", i, ext);
    const bool camOk = writePhoto(o.outDir + name,
                                  finishPhoto(camImage, o, o.seed * kNoiseSeedStride + 2u * i, 0.0),
                                  o.jpegQuality);
    std::snprintf(name, sizeof name, "/images/proj%03d.%s", i, ext);
    const bool projOk = writePhoto(
        o.outDir + name,
        finishPhoto(projImage, o, o.seed * kNoiseSeedStride + 2u * i + 1u, o.bloom), o.jpegQuality);
    if (!camOk || !projOk) {
        *error = "cannot write the images of view " + std::to_string(i);
        return -1;
    }
    return 0;
}
}  // namespace

int generateScene(const SceneOptions& o, std::string* error) {
    if (!validOptions(o)) {
        *error = "impossible scene options (sizes, counts and strengths must be positive)";
        return -1;
    }
    // The clutter photo first: a scene that cannot be made leaves nothing behind.
    SceneAssets assets;
    if (!o.clutter.empty()) {
        assets.clutter = loadClutter(o.clutter, cv::Size(o.cameraWidth, o.cameraHeight), error);
        if (assets.clutter.empty()) return -1;
    }
    std::error_code ec;
    for (const char* sub : {"data", "images", "info/cam", "info/proj", "test", "points"})
        fs::create_directories(fs::path(o.outDir) / sub, ec);
    if (ec) {
        *error = "cannot create folders under " + o.outDir + ": " + ec.message();
        return -1;
    }
    if (writeSceneFiles(o, &assets, error) != 0) return -1;
    std::mt19937 rng(o.seed);
    const SceneRig rig = makeRig(o, rng);
    const LensGrid lens = makeLensGrid(rig.camera);
    cv::FileStorage truth;
    if (beginTruth(o.outDir + "/truth.yaml", o, rig, assets, &truth, error) != 0) return -1;
    for (int i = 0; i < o.views; ++i) {
        BoardPose pose;
        if (!choosePose(i, rng, rig, assets.layouts, o, &pose)) {
            *error = "no board pose fits the camera and projector for view " + std::to_string(i);
            return -1;
        }
        const ViewContents view = viewContents(i, pose, o, rig, assets.layouts);
        if (writeViewPhotos(i, Shading{o, rig, assets, lens, view}, error) != 0) return -1;
        writeViewTruth(rig, assets.layouts, view, &truth);
    }
    endTruth(&truth);
    return 0;
}
