// How a pixel of a synthetic photo is shaded: the printed board seen through the camera's
// lens, the projected pattern on it in the projector series, hands, stray printouts and the
// room behind; then the camera's look over the whole photo.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "marker_picture.h"
#include "scene.h"
#include "scene_effects.h"
#include "scene_rig.h"

// Normalised undistorted camera coordinates at the pixel corners (i - 0.5, j - 0.5), row
// by row, interpolated bilinearly for the sub-samples: the lens is smooth at pixel scale.
struct LensGrid {
    int width = 0, height = 0;  // corners per row and column: one more than pixels
    std::vector<cv::Point2d> corners;
};

LensGrid makeLensGrid(const SceneCamera& cam);

// The camera ray (nx, ny, 1) through image point (x, y).
void normalisedRay(const LensGrid& lens, double x, double y, double* nx, double* ny);

// What every view of a scene draws from.
struct SceneAssets {
    std::vector<MarkerPicture> pictures;
    double worstPatternScore = 0;
    SceneLayouts layouts{};
    cv::Mat projection;  // the projected pattern image
    cv::Mat clutter;     // the room behind the board, camera-sized; empty: plain grey
};

// What one view adds: the board's pose, hands over it and stray printouts beside it.
struct ViewContents {
    BoardPose pose;
    std::vector<Occluder> hands;
    std::vector<StrayMarker> strays;
};

struct Shading {
    const SceneOptions& options;
    const SceneRig& rig;
    const SceneAssets& assets;
    const LensGrid& lens;
    const ViewContents& view;
};

// Colour (0..255 per channel) of camera image point (x, y): in the board photo, or, lit,
// in the projector photo (the pattern on the board, the room darker).
void shadePixel(const Shading& s, double x, double y, bool lit, float bgr[3]);

// Optics, brightness gradient, vignetting, noise and processing over a rendered photo,
// deterministic for a seed.
cv::Mat finishPhoto(const cv::Mat& rendered, const SceneOptions& o, unsigned seed, double bloom);
