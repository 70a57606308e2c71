#include "joint_refine.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <sstream>

#include "board_plane.h"
#include "name_pattern.h"
#include "point_files.h"

namespace fs = std::filesystem;

namespace {
constexpr double kQuietRejectedFraction = 0.01;

std::string joinedPath(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

std::vector<cv::Point2d> toDouble(const PointList2& p) {
    return std::vector<cv::Point2d>(p.begin(), p.end());
}

// The lens terms the chosen model has (the programs may write more, all zero).
RigLens lensOf(const DeviceResult& d) {
    RigLens lens;
    lens.imageSize = d.size;
    lens.cameraMatrix = cv::Matx33d(d.cameraMatrix);
    const int terms = d.model == "rational" ? 8 : d.model == "none" ? 0 : 5;
    const cv::Mat dist = d.distortion.reshape(1, 1);
    for (int i = 0; i < terms; ++i)
        lens.distortion.push_back(i < dist.cols ? dist.at<double>(i) : 0);
    return lens;
}

// The views the chain calibrated, as the rig solve takes them: the camera's raw points.
std::vector<RigView> loadViews(const std::string& w, const Layout& l, const Results& r,
                               JointRefinement* joint) {
    std::vector<RigView> views;
    std::vector<int> projector;
    if (r.hasProjector && fs::exists(joinedPath(w, l.pointsProj + "/proj_true_num.txt")))
        projector = loadTrueNumbers(joinedPath(w, l.pointsProj + "/proj_true_num.txt"));
    for (int n : r.camera.imageNumbers) {
        RigView v;
        v.imageNumber = n;
        for (const cv::Point3f& b :
             loadPointFile3(joinedPath(w, numberedName(l.pointsCam, "/cam3D", n, ".txt"))))
            v.boardPoints.emplace_back(b.x, b.y, b.z);
        v.cameraPoints =
            toDouble(loadPointFile2(joinedPath(w, numberedName(l.pointsCam, "/cam2D", n, ".txt"))));
        if (std::find(projector.begin(), projector.end(), n) != projector.end()) {
            v.patternInCamera = toDouble(
                loadPointFile2(joinedPath(w, numberedName(l.pointsProj, "/proj2D", n, ".txt"))));
            v.patternPoints = toDouble(
                loadPointFile2(joinedPath(w, numberedName(l.pointsProj, "/pattern", n, ".txt"))));
        }
        views.push_back(v);
    }
    for (int n : projector)
        if (std::find(r.camera.imageNumbers.begin(), r.camera.imageNumbers.end(), n) ==
            r.camera.imageNumbers.end())
            joint->notes.push_back("projector view " + std::to_string(n) +
                                   " has no camera calibration view to start its pose from: "
                                   "left out of the joint solve");
    return views;
}

cv::Mat sigmaColumn(const RigLensSigma& s) {
    std::vector<double> v = {s.fx, s.fy, s.cx, s.cy};
    v.insert(v.end(), s.distortion.begin(), s.distortion.end());
    return cv::Mat(v, true);
}

cv::Mat distortionRow(const RigLens& lens, const cv::Mat& like) {
    cv::Mat d = cv::Mat::zeros(1, std::max<int>(like.total(), lens.distortion.size()), CV_64F);
    for (std::size_t i = 0; i < lens.distortion.size(); ++i)
        d.at<double>(static_cast<int>(i)) = lens.distortion[i];
    return d;
}

void setDevice(const RigLens& lens, const RigLensSigma& sigma, double rms,
               const std::vector<double>& perViewRms, const std::vector<int>& numbers,
               DeviceResult* d) {
    d->cameraMatrix = cv::Mat(lens.cameraMatrix).clone();
    d->distortion = distortionRow(lens, d->distortion);
    d->stdDeviations = sigmaColumn(sigma);
    d->rms = rms;
    d->imageNumbers = numbers;
    d->perViewRms = perViewRms;
    d->corners.clear();
    d->residuals.clear();
}

cv::Matx33d cross(const cv::Vec3d& t) {
    return {0, -t[2], t[1], t[2], 0, -t[0], -t[1], t[0], 0};
}

// The joint figures into r: both devices, the poses, R and T with their σ, the residuals.
void writeInto(const std::vector<RigView>& views, const RigSolution& s, Results* r) {
    r->joint = true;
    std::vector<int> cameraNumbers, projectorNumbers;
    std::vector<double> cameraRms, projectorRms;
    for (std::size_t v = 0; v < views.size(); ++v) {
        cameraNumbers.push_back(views[v].imageNumber);
        cameraRms.push_back(s.rmsCameraPerView[v]);
        if (views[v].patternPoints.empty()) continue;
        projectorNumbers.push_back(views[v].imageNumber);
        projectorRms.push_back(s.rmsProjectorPerView[v]);
    }
    setDevice(s.camera, s.cameraSigma, s.rmsCamera, cameraRms, cameraNumbers, &r->camera);
    r->cameraRvecs.clear();
    r->cameraTvecs.clear();
    const cv::Mat kc(s.camera.cameraMatrix), dc(s.camera.distortion, true);
    for (std::size_t v = 0; v < views.size(); ++v) {
        r->cameraRvecs.push_back(cv::Mat(s.rvecs[v]).clone());
        r->cameraTvecs.push_back(cv::Mat(s.tvecs[v]).clone());
        std::vector<cv::Point2d> projected;
        if (views[v].boardPoints.empty()) continue;
        cv::projectPoints(views[v].boardPoints, s.rvecs[v], s.tvecs[v], kc, dc, projected);
        for (std::size_t i = 0; i < projected.size(); ++i) {
            r->camera.corners.push_back(views[v].cameraPoints[i]);
            r->camera.residuals.push_back(views[v].cameraPoints[i] - projected[i]);
        }
    }
    if (!r->hasProjector) return;
    setDevice(s.projector, s.projectorSigma, s.rmsProjector, projectorRms, projectorNumbers,
              &r->projector);
    const cv::Mat kp(s.projector.cameraMatrix), dp(s.projector.distortion, true);
    // The projector's residuals for the charts: each projected point seen by the camera, onto
    // its view's board, into the projector, against its pattern point.
    for (std::size_t v = 0; v < views.size(); ++v) {
        if (views[v].patternPoints.empty()) continue;
        std::vector<cv::Point2f> seen(views[v].patternInCamera.begin(),
                                      views[v].patternInCamera.end()),
            ideal;
        cv::undistortPoints(seen, ideal, kc, dc, cv::noArray(), kc);
        cv::Matx33d rc;
        cv::Rodrigues(s.rvecs[v], rc);
        std::vector<cv::Point3d> inProjector;
        for (const cv::Point3f& b :
             boardPointsSeen(ideal, kc, cv::Mat(s.rvecs[v]), cv::Mat(s.tvecs[v])))
            inProjector.push_back(
                cv::Point3d(s.R * (rc * cv::Vec3d(b.x, b.y, b.z) + s.tvecs[v]) + s.T));
        std::vector<cv::Point2d> projected;
        cv::projectPoints(inProjector, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), kp, dp, projected);
        for (std::size_t i = 0; i < projected.size(); ++i) {
            const cv::Point2d e = views[v].patternPoints[i] - projected[i];
            if (!std::isfinite(e.x) || !std::isfinite(e.y)) continue;
            r->projector.corners.push_back(views[v].patternPoints[i]);
            r->projector.residuals.push_back(e);
        }
    }
    StereoResult& st = r->stereo;
    st.r = cv::Mat(s.R).clone();
    st.t = cv::Mat(s.T).clone();
    st.e = cv::Mat(cross(s.T) * s.R);
    st.f = cv::Mat(cv::Matx33d(kp).inv().t() * cross(s.T) * s.R * cv::Matx33d(kc).inv());
    st.rms = s.rmsProjector;
    st.cameraModel = "the joint solve's camera with its " + r->camera.model +
                     " lens on the raw camera points (E and F hold for undistorted pixels)";
    st.imageNumbers = projectorNumbers;
    st.perViewRms = projectorRms;
    st.tSigma = cv::Mat(s.sigmaT).clone();
    st.baselineSigma = s.sigmaBaseline;
    st.rotationSigmaDeg = s.sigmaRotationAngleDeg;
}

double medianDistance(const std::vector<cv::Vec3d>& tvecs) {
    std::vector<double> d;
    for (const cv::Vec3d& t : tvecs) d.push_back(cv::norm(t));
    std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
    return d.empty() ? 0 : d[d.size() / 2];
}

const char* groupName(RigGroup g) {
    switch (g) {
        case RigGroup::CameraBoard:
            return "camera board point";
        case RigGroup::CameraProjected:
            return "projected point (in the camera)";
        case RigGroup::Projector:
            return "projected point (in the projector)";
    }
    return "";
}
}  // namespace

std::string refineJointly(const std::string& w, const Layout& l, Results* r,
                          JointRefinement* joint) {
    joint->chain = *r;
    joint->views = loadViews(w, l, *r, joint);
    RigInitial initial;
    initial.camera = lensOf(r->camera);
    for (std::size_t v = 0; v < r->cameraRvecs.size(); ++v) {
        initial.rvecs.emplace_back(r->cameraRvecs[v]);
        initial.tvecs.emplace_back(r->cameraTvecs[v]);
    }
    if (r->hasProjector) {
        initial.projector = lensOf(r->projector);
        initial.R = cv::Matx33d(r->stereo.r);
        initial.T = cv::Vec3d(r->stereo.t);
    }
    RigSolution& s = joint->solution;
    if (solveRig(joint->views, initial, RigSolveOptions(), &s) != 0) return s.message;
    writeInto(joint->views, s, r);
    joint->workingDistance = medianDistance(s.tvecs);
    std::string message;
    const cv::Size grid(kSigmaMapColumns, kSigmaMapRows);
    if (projectionSigmaMap(s, false, joint->workingDistance, grid, &joint->cameraSigmaMap,
                           &message) != 0)
        joint->notes.push_back("no camera uncertainty map: " + message);
    if (r->hasProjector && projectionSigmaMap(s, true, joint->workingDistance, grid,
                                              &joint->projectorSigmaMap, &message) != 0)
        joint->notes.push_back("no projector uncertainty map: " + message);
    joint->done = true;
    return "";
}

void checkJoint(const JointRefinement& joint, std::vector<Finding>* findings) {
    const RigSolution& s = joint.solution;
    const int rejected = static_cast<int>(s.rejected.size());
    // A few stray points are every series' lot: named in the report, not worth a warning.
    if (!s.tooManyRejected && rejected <= kQuietRejectedFraction * s.observations) return;
    std::ostringstream what;
    what << "the joint solve rejected " << rejected << " of " << s.observations
         << " points as outliers (" << std::fixed;
    what.precision(1);
    what << 100.0 * rejected / std::max(1, s.observations) << " %; per view:";
    for (std::size_t v = 0; v < joint.views.size(); ++v)
        if (v < s.rejectedPerView.size() && s.rejectedPerView[v] > 0)
            what << " " << joint.views[v].imageNumber << ": " << s.rejectedPerView[v];
    what << ")";
    if (s.tooManyRejected)
        findings->push_back(
            {true, what.str() + ", more than the few percent a sound series loses",
             s.message.empty()
                 ? "the corners are dragged (a large corner-refinement window, blur) or the "
                   "views disagree (the board moved between the photos of a pose): retake or "
                   "exclude the views with many rejected points (named in report.html)"
                 : s.message});
    else
        findings->push_back({false, what.str(),
                             "each is named in report.html; a few are harmless (glints, "
                             "blur); many in one view: exclude or retake that view"});
}

std::vector<std::string> rejectedLines(const JointRefinement& joint) {
    std::vector<std::string> lines;
    for (const RigRejected& x : joint.solution.rejected) {
        std::ostringstream line;
        line.precision(3);
        line << "view " << x.imageNumber << ": " << groupName(x.group) << " " << x.index << ", "
             << x.errorPx << " px (" << (x.projector ? "projector" : "camera") << " pixels)";
        lines.push_back(line.str());
    }
    return lines;
}
