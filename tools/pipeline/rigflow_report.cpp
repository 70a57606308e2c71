#include "rigflow_report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <stdexcept>

#include "board_plane.h"
#include "correspondence_folder.h"
#include "lens_model_kind.h"
#include "point_files.h"

namespace fs = std::filesystem;

namespace {
std::string at(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

cv::FileStorage openResults(const std::string& path) {
    cv::FileStorage f(path, cv::FileStorage::READ);
    if (!f.isOpened()) throw std::runtime_error("cannot read the results file " + path);
    return f;
}

cv::Mat matrixIn(const cv::FileStorage& f, const std::string& key, const std::string& path) {
    cv::Mat m;
    f[key] >> m;
    if (m.empty()) throw std::runtime_error(path + " holds no " + key);
    return m;
}

double rms(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::pow(a[i].x - b[i].x, 2) + std::pow(a[i].y - b[i].y, 2);
    return a.empty() ? 0.0 : std::sqrt(sum / a.size());
}

void printMatrix(const std::string& name, const cv::Mat& m) {
    std::cout << "  " << name << ":";
    for (int i = 0; i < static_cast<int>(m.total()); ++i)
        std::cout << " " << m.reshape(1, 1).at<double>(i);
    std::cout << "\n";
}

double rotationAngleDeg(const cv::Mat& r) {
    cv::Mat v;
    cv::Rodrigues(r, v);
    return cv::norm(v) * 180 / CV_PI;
}

// "k1 k2 p1 p2 k3", or "none" for a model without coefficients.
std::string coefficientNamesText(const std::string& model) {
    std::string names;
    for (const std::string& n :
         lensModelTraits(lensModelNamed(model, LensModel::kNone)).coefficientNames)
        names += (names.empty() ? "" : " ") + n;
    return names.empty() ? "none" : names;
}

// The camera-to-projector pose of each view (the camera's pose from lensrig, the
// projector's from its own calibration): how far the views disagree, as one standard
// deviation over the views. Not divided by sqrt(views): the views share the intrinsics'
// errors, so the fit's R and T are not that much more certain than one view.
void estimateStereoSpread(const Results& r, const std::vector<int>& projectorNumbers,
                          const cv::Mat& projRvecs, const cv::Mat& projTvecs, StereoResult* s) {
    std::vector<cv::Vec3d> ts;
    std::vector<double> baselines, angles;
    for (std::size_t v = 0; v < projectorNumbers.size(); ++v) {
        const int paired = pairedCameraView(r.camera.imageNumbers, projectorNumbers[v]);
        if (paired < 0) continue;
        const std::size_t c = static_cast<std::size_t>(paired);
        cv::Mat rc, rp;
        cv::Rodrigues(r.cameraRvecs[c], rc);
        cv::Rodrigues(projRvecs.row(static_cast<int>(v)).reshape(1, 3), rp);
        const cv::Mat rel = rp * rc.t();
        const cv::Mat t = projTvecs.row(static_cast<int>(v)).reshape(1, 3) - rel * r.cameraTvecs[c];
        ts.emplace_back(t.at<double>(0), t.at<double>(1), t.at<double>(2));
        baselines.push_back(cv::norm(t));
        angles.push_back(rotationAngleDeg(s->r.t() * rel));
    }
    const double n = static_cast<double>(ts.size());
    if (n < 2) return;
    cv::Vec3d mean(0, 0, 0), spread(0, 0, 0);
    double meanBase = 0, baseSpread = 0, angleSpread = 0;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        mean += ts[i] / n;
        meanBase += baselines[i] / n;
        angleSpread += angles[i] * angles[i] / n;  // about R itself
    }
    for (std::size_t i = 0; i < ts.size(); ++i) {
        const cv::Vec3d d = ts[i] - mean;
        spread += cv::Vec3d(d[0] * d[0], d[1] * d[1], d[2] * d[2]) / (n - 1);
        baseSpread += (baselines[i] - meanBase) * (baselines[i] - meanBase) / (n - 1);
    }
    s->tSigma = (cv::Mat_<double>(3, 1) << std::sqrt(spread[0]), std::sqrt(spread[1]),
                 std::sqrt(spread[2]));
    s->baselineSigma = std::sqrt(baseSpread);
    s->rotationSigmaDeg = std::sqrt(angleSpread);
}

void printModel(const DeviceResult& d) {
    std::cout << "  lens model: " << d.model;
    if (!d.heldOutRms.empty()) {
        std::cout << " (held-out error";
        for (std::size_t i = 0; i < d.heldOutRms.size(); ++i)
            std::cout << (i ? ", " : " ") << d.heldOutRms[i].first << " " << d.heldOutRms[i].second
                      << " px";
        std::cout << ")";
    }
    std::cout << "\n";
    if (!d.modelReason.empty()) std::cout << "  why: " << d.modelReason << "\n";
}
}  // namespace

void collectCamera(const std::string& w, const Layout& l, const std::string& resultsFile,
                   Results* r) {
    const std::string path = at(w, resultsFile);
    const cv::FileStorage f = openResults(path);
    DeviceResult& cam = r->camera;
    cam.size = cv::Size(static_cast<int>(f["image_width"]), static_cast<int>(f["image_height"]));
    cam.cameraMatrix = matrixIn(f, "camera_matrix", path);
    cam.distortion = matrixIn(f, "distortion_coefficients", path);
    cam.rms = static_cast<double>(f["rms"]);
    cv::Mat numbers, perView, rvecs, tvecs;
    f["image_numbers"] >> numbers;
    cam.imageNumbers.assign(numbers.begin<int>(), numbers.end<int>());
    f["per_view_rms"] >> perView;
    f["rvecs"] >> rvecs;
    f["tvecs"] >> tvecs;
    if (rvecs.rows != static_cast<int>(cam.imageNumbers.size()) || rvecs.rows != tvecs.rows ||
        perView.total() != cam.imageNumbers.size())
        throw std::runtime_error(path + ": the per-view results do not match its image numbers");
    cam.perViewRms.assign(perView.begin<double>(), perView.end<double>());
    for (int v = 0; v < rvecs.rows; ++v) {
        r->cameraRvecs.push_back(rvecs.row(v).reshape(1, 3).clone());
        r->cameraTvecs.push_back(tvecs.row(v).reshape(1, 3).clone());
    }
    f["std_deviations"] >> cam.stdDeviations;
    // Every corner's residual through the full-precision model.
    for (std::size_t v = 0; v < cam.imageNumbers.size(); ++v) {
        const int n = cam.imageNumbers[v];
        const PointList2 seen =
            loadPointFile2(at(w, pointFile(l.pointsCam, PointFile::kCameraImage, n)));
        const PointList3 board =
            loadPointFile3(at(w, pointFile(l.pointsCam, PointFile::kCameraBoard, n)));
        std::vector<cv::Point2f> projected;
        cv::projectPoints(board, r->cameraRvecs[v], r->cameraTvecs[v], cam.cameraMatrix,
                          cam.distortion, projected);
        for (std::size_t i = 0; i < projected.size() && i < seen.size(); ++i) {
            cam.corners.emplace_back(seen[i].x, seen[i].y);
            cam.residuals.emplace_back(seen[i].x - projected[i].x, seen[i].y - projected[i].y);
        }
    }
}

void collectProjector(const std::string& w, const Layout& l, const RigflowConfig& c,
                      const std::string& resultsFile, Results* r) {
    const std::string path = at(w, resultsFile);
    const cv::FileStorage f = openResults(path);
    DeviceResult& proj = r->projector;
    r->hasProjector = true;
    proj.cameraMatrix = matrixIn(f, "projector_matrix", path);
    proj.distortion = matrixIn(f, "projector_distortion", path);
    proj.rms = static_cast<double>(f["projector_rms"]);
    r->pinholeCameraRms = static_cast<double>(f["camera_rms"]);
    StereoResult& s = r->stereo;
    s.r = matrixIn(f, "R", path);
    s.t = matrixIn(f, "T", path);
    s.e = matrixIn(f, "E", path);
    s.f = matrixIn(f, "F", path);
    s.rms = static_cast<double>(f["stereo_rms"]);
    f["projector_std_deviations"] >> proj.stdDeviations;
    cv::Mat numbers, counts, points, residuals, projRvecs, projTvecs;
    f["projector_image_numbers"] >> numbers;
    f["projector_points_per_view"] >> counts;
    f["projector_points"] >> points;
    f["projector_residuals"] >> residuals;
    f["projector_rvecs"] >> projRvecs;
    f["projector_tvecs"] >> projTvecs;
    if (numbers.total() != counts.total() || points.rows != residuals.rows ||
        projRvecs.rows != static_cast<int>(numbers.total()))
        throw std::runtime_error(path + ": the projector's per-view results do not match");
    proj.imageNumbers.assign(numbers.begin<int>(), numbers.end<int>());
    // The projector's own errors, view by view, as its calibration measured them.
    int row = 0;
    for (std::size_t v = 0; v < proj.imageNumbers.size(); ++v) {
        double sum = 0;
        const int count = counts.at<int>(static_cast<int>(v));
        for (int i = 0; i < count; ++i, ++row) {
            const cv::Point2d at(points.at<double>(row, 0), points.at<double>(row, 1));
            const cv::Point2d e(residuals.at<double>(row, 0), residuals.at<double>(row, 1));
            proj.corners.push_back(at);
            proj.residuals.push_back(e);
            sum += e.dot(e);
        }
        proj.perViewRms.push_back(count > 0 ? std::sqrt(sum / count) : 0.0);
    }
    estimateStereoSpread(*r, proj.imageNumbers, projRvecs, projTvecs, &s);

    const cv::Mat k = r->camera.cameraMatrix;
    const std::string onCamFolder = c.undistort ? l.undistorted : l.pointsProj;
    for (int n : loadTrueNumbers(at(w, trueNumberFile(l.pointsProj, true)))) {
        const int paired = pairedCameraView(r->camera.imageNumbers, n);
        if (paired < 0) continue;
        const std::size_t v = static_cast<std::size_t>(paired);
        const PointList2 onCam =
            loadPointFile2(at(w, pointFile(onCamFolder, PointFile::kProjectedImage, n)));
        const PointList2 pattern =
            loadPointFile2(at(w, pointFile(l.pointsProj, PointFile::kProjectedPattern, n)));
        // Onto the board through the camera's pose, back into the camera, into the projector.
        cv::Mat rc;
        cv::Rodrigues(r->cameraRvecs[v], rc);
        std::vector<cv::Point3f> inProjector;
        for (const cv::Point3f& b :
             boardPointsSeen(onCam, k, r->cameraRvecs[v], r->cameraTvecs[v])) {
            const cv::Mat x =
                s.r * (rc * cv::Mat(cv::Vec3d(b.x, b.y, b.z)) + r->cameraTvecs[v]) + s.t;
            inProjector.emplace_back(x.at<double>(0), x.at<double>(1), x.at<double>(2));
        }
        std::vector<cv::Point2f> projected;
        cv::projectPoints(inProjector, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), proj.cameraMatrix,
                          proj.distortion, projected);
        s.imageNumbers.push_back(n);
        s.perViewRms.push_back(rms(projected, pattern));
    }
}

void printSummary(const RigflowConfig& c, const Results& r, int seriesLength,
                  const std::string& out) {
    const DeviceResult& cam = r.camera;
    const DeviceResult& proj = r.projector;
    std::cout << std::setprecision(6) << "\n== Calibration\n"
              << "views used: camera " << cam.imageNumbers.size() << " of " << seriesLength;
    if (r.hasProjector)
        std::cout << ", projector " << proj.imageNumbers.size() << " of " << seriesLength;
    std::cout << "\ncamera (" << cam.size.width << " x " << cam.size.height
              << "): RMS reprojection error " << cam.rms << " px\n";
    printMatrix("camera matrix", cam.cameraMatrix);
    printMatrix("distortion (" + coefficientNamesText(cam.model) + ")", cam.distortion);
    printModel(cam);
    if (!r.hasProjector) {
        std::cout << "no projector series (projector_images or projector_points): the camera "
                     "alone was calibrated\n"
                  << "results in " << out
                  << ": report.html, camera.yaml, calibration.json, calibration.yaml, "
                     "camera.cameramodel, camera_info_camera.yaml, camera_errors.png\n";
        return;
    }
    std::cout << "projector (" << proj.size.width << " x " << proj.size.height
              << "): RMS reprojection error " << proj.rms << " px\n";
    printMatrix("projector matrix", proj.cameraMatrix);
    printMatrix("projector distortion (" + coefficientNamesText(proj.model) + ")", proj.distortion);
    printModel(proj);
    std::cout << "stereo: RMS " << r.stereo.rms << " px, baseline " << cv::norm(r.stereo.t)
              << " (board units), rotation " << rotationAngleDeg(r.stereo.r) << " deg\n";
    printMatrix("T (camera to projector)", r.stereo.t);
    std::cout
        << (r.joint ? "The results are the joint solve's (refine = joint): one robust solve of "
                      "both devices, the poses and R, T on the raw camera points; the chain's "
                      "figures are beside them in report.html.\n"
            : c.undistort
                ? "The projector and stereo results refer to a pinhole camera (no lens distortion) "
                  "on the camera points after the camera's lens distortion (" +
                      cam.model + " model) was removed (warpdots).\n"
                : std::string("The projector and stereo results refer to a pinhole camera on the "
                              "raw camera points (undistort = 0): the camera's lens distortion "
                              "biases them.\n"))
        << "results in " << out
        << ": report.html, camera.yaml, projector.yaml, stereo.yaml, calibration.json, "
           "calibration.yaml, camera.cameramodel, projector.cameramodel, "
           "camera_info_camera.yaml, camera_info_projector.yaml, camera_errors.png, "
           "projector_errors.png\n";
}

void compareWithTruth(const std::string& path, const Results& r, const std::string& what) {
    cv::FileStorage fs(path, cv::FileStorage::READ);
    if (!fs.isOpened()) throw std::runtime_error("cannot read the ground truth " + path);
    cv::Mat camK, projK, rTrue, tTrue;
    fs["camera_matrix"] >> camK;
    fs["projector_matrix"] >> projK;
    fs["R"] >> rTrue;
    fs["T"] >> tTrue;
    if (camK.empty() || projK.empty() || rTrue.empty() || tTrue.empty())
        throw std::runtime_error(path + " lacks camera_matrix, projector_matrix, R or T");
    std::cout << "\n== Compared with the ground truth (" << path << ")"
              << (what.empty() ? "" : ": " + what) << "\n";
    std::cout << std::left << std::setw(22) << "parameter" << std::right << std::setw(14)
              << "recovered" << std::setw(14) << "truth" << std::setw(14) << "error"
              << "\n";
    auto row = [](const std::string& name, double got, double truth, bool relative) {
        char err[32];
        if (relative)
            std::snprintf(err, sizeof err, "%+.3f %%", 100.0 * (got - truth) / truth);
        else
            std::snprintf(err, sizeof err, "%+.3f", got - truth);
        std::cout << std::left << std::setw(22) << name << std::right << std::fixed
                  << std::setprecision(3) << std::setw(14) << got << std::setw(14) << truth
                  << std::setw(14) << err << "\n"
                  << std::defaultfloat;
    };
    const cv::Mat& ck = r.camera.cameraMatrix;
    row("camera fx", ck.at<double>(0, 0), camK.at<double>(0, 0), true);
    row("camera fy", ck.at<double>(1, 1), camK.at<double>(1, 1), true);
    row("camera cx (px)", ck.at<double>(0, 2), camK.at<double>(0, 2), false);
    row("camera cy (px)", ck.at<double>(1, 2), camK.at<double>(1, 2), false);
    if (!r.hasProjector) return;
    const cv::Mat& pk = r.projector.cameraMatrix;
    row("projector fx", pk.at<double>(0, 0), projK.at<double>(0, 0), true);
    row("projector fy", pk.at<double>(1, 1), projK.at<double>(1, 1), true);
    row("projector cx (px)", pk.at<double>(0, 2), projK.at<double>(0, 2), false);
    row("projector cy (px)", pk.at<double>(1, 2), projK.at<double>(1, 2), false);
    row("baseline |T|", cv::norm(r.stereo.t), cv::norm(tTrue), true);
    row("rotation angle (deg)", rotationAngleDeg(r.stereo.r), rotationAngleDeg(rTrue), false);
    const double cosT = r.stereo.t.dot(tTrue) / cv::norm(r.stereo.t) / cv::norm(tTrue);
    std::cout << "rotation error " << rotationAngleDeg(r.stereo.r.t() * rTrue)
              << " deg, T direction error " << std::acos(std::min(1.0, cosT)) * 180 / CV_PI
              << " deg\n";
}
