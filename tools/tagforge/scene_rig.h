// The rig of a synthetic scene: the camera with its lens, the projector beside it, the
// board's layouts and the board poses, and the geometry that relates them.
#pragma once

#include <opencv2/core.hpp>
#include <random>
#include <vector>

#include "board_layout.h"
#include "scene.h"

constexpr int kScenePatterns = kBoardMarkers;  // one pattern per board marker
constexpr double kBoardMarginMm = 40.0;        // white board around the markers

struct SceneCamera {
    cv::Matx33d k;
    cv::Mat dist;  // k1 k2 p1 p2 k3
    cv::Size size;
};

struct SceneProjector {
    cv::Matx33d k;
    cv::Size size;
    cv::Matx33d rCamToProj;  // x_proj = R x_cam + T
    cv::Vec3d tCamToProj;
};

struct SceneRig {
    SceneCamera camera;
    SceneProjector projector;
};

struct BoardPose {
    cv::Matx33d r;  // board to camera
    cv::Vec3d t;
};

struct SceneLayouts {
    MarkerLayout board;       // millimetres
    MarkerLayout projection;  // projector pixels
    double projOffsetX, projOffsetY;
};

// The camera (focal length and principal point jittered by rng, the default lens scaled by
// the options' distortion) and the projector beside it, aimed at the board's working volume.
SceneRig makeRig(const SceneOptions& o, std::mt19937& rng);

// Draws board poses until one shows every printed and every projected marker well inside
// the image (or, failing that, every printed one). Tilts alternate in sign over the views
// (index) so that the set constrains the camera. False when no pose fits.
bool choosePose(int index, std::mt19937& rng, const SceneRig& rig, const SceneLayouts& l,
                const SceneOptions& o, BoardPose* pose);

// Board point (x, y) seen through camera ray (nx, ny, 1), and the point in camera
// coordinates; false when the ray misses the plane.
bool rayToBoard(const BoardPose& v, double nx, double ny, double* bx, double* by,
                cv::Vec3d* camPoint);

// Camera pixels of board points (millimetres, z = 0) under the pose, lens included.
std::vector<cv::Point2d> projectToCamera(const SceneCamera& cam, const BoardPose& v,
                                         const std::vector<cv::Point3d>& pts);

// Board point hit by the projector ray through projector pixel (u, w).
bool projectorPixelToBoard(const SceneProjector& p, const BoardPose& v, double u, double w,
                           cv::Point3d* board);

// Board corners of every marker in the detector's corner order (0: larger X and Y, 1:
// smaller X larger Y, 2: smaller both, 3: larger X smaller Y), ids 0..62.
std::vector<cv::Point3d> boardCorners(const MarkerLayout& l);

// Projector pixel centre of every projected marker, ids 0..62 (pixel centres at integers).
std::vector<cv::Point2d> projectedCentres(const SceneLayouts& l);

// The four projector-pixel corners of every projected marker, as board points; false when
// one misses the board sheet.
bool projectedCornersOnBoard(const SceneProjector& p, const BoardPose& v, const SceneLayouts& l,
                             std::vector<cv::Point3d>* out);
