// One joint, robust least-squares solve of a whole camera + projector rig, with the parameters'
// uncertainty.
//
// Pixels, the board frame (z = 0 before bending), pose directions (views: board to camera; R, T:
// camera to projector) and units: docs/conventions.md. The projector is a camera run backwards.
//
// Formulation. Every observation is a forward projection through a device model:
//  - camera on board points: the board point (bent, see below) through the view pose into the
//    camera, against where the camera saw it;
//  - camera on projected points: each projected pattern point lands on the board at an unknown
//    board position (x, y), a free parameter of its own; that board point through the view pose
//    into the camera, against where the camera saw it;
//  - projector: the same board point through the view pose and R, T into the projector, against
//    the pattern point.
// The free board points (2 parameters each) are eliminated by the Schur complement, so the solve
// scales with the number of views, not of points. A view without board points (projector part
// only) fixes its board's in-plane position and rotation by holding its first projected point
// and one coordinate of its second (the plane itself is fixed by triangulation).
//
// Weights: each of the three residual groups above has its own noise σ (px), estimated from its
// residuals and iterated, so groups with different noise combine correctly.
// Outliers: a robust loss first, then observations beyond rejectSigma σ (σ from the median
// absolute deviation) are rejected and the rest re-solved, for a few rounds; the final solve has no
// robust loss, so its covariance is that of a plain weighted least-squares fit.
// Uncertainty: the covariance of the rig parameters (both devices, R, T, bending) from the final
// Jacobian with the view poses and free points eliminated, scaled by the groups' σ and the
// reduced chi² (the residual spread), so the σ reflect the noise the data show.
//
// Board bending (optional): z = b1 (u² + v²) for one term, z = b1 u² + b2 v² for two, with
// (u, v) = ((x, y) - centre) / halfExtent over the bounding box of all views' board points
// (centre and half of its diagonal): b is the sag in board units at the box's corner.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// One device (camera or projector) as a pinhole model with OpenCV's distortion.
struct RigLens {
    cv::Size imageSize;        // device resolution, px
    cv::Matx33d cameraMatrix;  // fx 0 cx; 0 fy cy; 0 0 1, px (no skew)
    // OpenCV order k1 k2 p1 p2 k3 [k4 k5 k6]; 0, 5 or 8 coefficients (0: no distortion).
    std::vector<double> distortion;
};

// What one photo (view) saw. Either part may be empty; the camera part is index-paired
// (boardPoints[i] <-> cameraPoints[i]), so is the projector part.
struct RigView {
    int imageNumber = 0;  // the photo's number, for messages and the rejected list
    // Camera part: board points (board units, z = 0) and where the camera saw them (camera px).
    std::vector<cv::Point3d> boardPoints;
    std::vector<cv::Point2d> cameraPoints;
    // Projector part: pattern points (projector px) and where the camera saw them on the board
    // (camera px).
    std::vector<cv::Point2d> patternPoints;
    std::vector<cv::Point2d> patternInCamera;
};

// The starting point of the solve, usually from separate calibrations of each device.
struct RigInitial {
    RigLens camera, projector;
    // Camera from board, one per view in the order of the views (Rodrigues vector, board units).
    std::vector<cv::Vec3d> rvecs, tvecs;
    cv::Matx33d R = cv::Matx33d::eye();  // camera to projector rotation
    cv::Vec3d T;                         // camera to projector translation, board units
};

struct RigSolveOptions {
    // Huber loss scale in σ (a residual beyond lossScale σ weighs linearly) for the robust rounds.
    double lossScale = 2.0;
    // An observation whose residual exceeds rejectSigma σ of its group is rejected.
    double rejectSigma = 4.5;
    // More rejected than this fraction of all observations: the solve flags the result.
    double maxRejectedFraction = 0.05;
    int rounds = 6;           // robust solve + rejection rounds at most (then the final solve)
    int bendingTerms = 0;     // 0 (flat board), 1 or 2 bending parameters
    int maxIterations = 100;  // least-squares iterations per solve
};

// The three residual groups, each with its own σ.
enum class RigGroup {
    CameraBoard = 0,      // the camera on board points (RigView::cameraPoints)
    CameraProjected = 1,  // the camera on projected points (RigView::patternInCamera)
    Projector = 2,        // the projector on projected points (RigView::patternPoints)
};
constexpr int kRigGroups = 3;

// One rejected observation. A projected point is rejected as a whole (both its residuals).
struct RigRejected {
    int view = 0;         // index into the views
    int imageNumber = 0;  // RigView::imageNumber of that view
    int index = 0;        // index into boardPoints (CameraBoard) or patternPoints (the others)
    RigGroup group = RigGroup::CameraBoard;  // the residual that was too large
    bool projector = false;                  // whose pixels errorPx is in: projector or camera
    double errorPx = 0;                      // that residual's length, px
};

// 1σ of one device's parameters.
struct RigLensSigma {
    double fx = 0, fy = 0, cx = 0, cy = 0;  // px
    std::vector<double> distortion;         // one per lens term, same order as RigLens
};

struct RigSolution {
    RigLens camera, projector;
    std::vector<cv::Vec3d> rvecs, tvecs;  // camera from board per view, as RigInitial
    cv::Matx33d R = cv::Matx33d::eye();   // camera to projector, as RigInitial
    cv::Vec3d T;
    std::vector<double> bending;   // options.bendingTerms values, board units of sag (see top)
    cv::Point2d bendingCentre;     // board units
    double bendingHalfExtent = 0;  // board units

    // 1σ.
    RigLensSigma cameraSigma, projectorSigma;
    cv::Vec3d sigmaT;                  // board units, per component
    double baseline = 0;               // |T|, board units
    double sigmaBaseline = 0;          // board units
    cv::Vec3d rotationVectorDeg;       // Rodrigues(R), degrees
    cv::Vec3d sigmaRotationVectorDeg;  // degrees, per component
    double rotationAngleDeg = 0;       // |Rodrigues(R)|, degrees
    double sigmaRotationAngleDeg = 0;  // degrees
    std::vector<double> sigmaBending;  // board units

    // Residuals of the kept observations, px.
    double rmsCamera = 0;                       // camera, board and projected points together
    double rmsProjector = 0;                    // projector
    double groupSigma[kRigGroups] = {0, 0, 0};  // the noise σ each group was weighted with, px
    std::vector<double> rmsCameraPerView, rmsProjectorPerView;  // per view, 0 when none kept
    // Weighted chi² per degree of freedom of the plain solve with the robust σ (median absolute
    // deviation) of the rejection rounds: near 1 when the kept residuals are Gaussian.
    double reducedChi2 = 0;

    // Outliers.
    std::vector<RigRejected> rejected;
    std::vector<int> rejectedPerView;  // per view, observations rejected
    int observations = 0;              // camera board points + projected points, all views
    bool tooManyRejected = false;      // more than options.maxRejectedFraction went
    std::string message;               // why flagged (cause and what to do), else empty

    // Covariance of the rig parameters, board units / px / radians, in this order:
    // camera fx fy cx cy + its lens terms, projector fx fy cx cy + its lens terms,
    // Rodrigues(R) (3), T (3), bending. The view poses and free points are eliminated (their
    // uncertainty is included). CV_64F, square.
    cv::Mat covariance;
    int iterations = 0;  // least-squares iterations, all solves together
};

// Solves the rig. initial must hold one pose per view and lens terms of 0, 5 or 8 per device;
// the observation counts must pair up. Returns 0 with *solution filled (check tooManyRejected),
// or -1 with solution->message naming the cause and what to do (bad input, no convergence,
// fewer observations than parameters, a singular covariance: a parameter the views do not fix).
int solveRig(const std::vector<RigView>& views, const RigInitial& initial,
             const RigSolveOptions& options, RigSolution* solution);

// σ in px of projecting a point at workingDistance (board units, along the device's optical axis)
// into one device, from the solution's covariance: on a grid of grid.width x grid.height pixel
// positions spread evenly over the device's image (first and last at the image's edge pixels),
// the point that projects there is held fixed in the camera's frame and its projection's
// sqrt(σu² + σv²) is taken. For the projector, R and T's uncertainty is included. *sigmaPx is
// grid.height x grid.width CV_64F. Returns 0, or -1 with *message (no covariance, bad grid or
// distance, a pixel the lens cannot map back).
int projectionSigmaMap(const RigSolution& solution, bool projector, double workingDistance,
                       cv::Size grid, cv::Mat* sigmaPx, std::string* message);
