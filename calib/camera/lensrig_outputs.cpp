#include "lensrig_outputs.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <utility>

#include "camera_files.h"
#include "lens_model.h"
#include "lensrig_fit.h"
#include "name_pattern.h"

namespace {
void closeChecked(LensrigState* s, std::ofstream& out, const std::string& name) {
    const bool opened = out.is_open();
    out.close();
    if (!opened || out.fail()) {
        std::cerr << "cannot write " << name << std::endl;
        s->unwritten.push_back(name);
    }
}
}  // namespace

void writePoseFiles(LensrigState* s) {
    const std::string& folder = s->args.paramFolder;
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const int n = s->data.trueNum[k];
        const cv::Mat& r = s->rotations[k];
        const cv::Mat& t = s->translations[k];
        const std::string rtName = numberedName(folder, "/cam_RT", n, ".txt");
        std::ofstream rt(rtName);
        rt << "rotation\n"
           << r.at<double>(0) << "\n"
           << r.at<double>(1) << "\n"
           << r.at<double>(2) << "\n";
        rt << "translation\n"
           << t.at<double>(0) << " " << t.at<double>(1) << " " << t.at<double>(2) << "\n";
        closeChecked(s, rt, rtName);
        const std::string rName = numberedName(folder, "/cam_R", n, ".txt");
        std::ofstream ro(rName);
        ro << r.at<double>(0) << "\n" << r.at<double>(1) << "\n" << r.at<double>(2) << "\n";
        closeChecked(s, ro, rName);
        const std::string tName = numberedName(folder, "/cam_t", n, ".txt");
        std::ofstream tr(tName);
        tr << t.at<double>(0) << "\n" << t.at<double>(1) << "\n" << t.at<double>(2) << "\n";
        closeChecked(s, tr, tName);
    }
}

void writeReprojectionImages(LensrigState* s) {
    if (s->args.imagePattern == kNoPhotos) return;
    auto round = [](float v) { return static_cast<int>(std::nearbyint(v)); };
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const int n = s->data.trueNum[k];
        // Drawn on the photo read before (and released after): a photo skipped there, too
        // large or unreadable, is not read again.
        cv::Mat image;
        std::swap(image, s->images[k]);
        if (image.empty()) {
            std::cerr << "no reprojection image for " << expandPattern(s->args.imagePattern, n)
                      << ": it could not be read" << std::endl;
            continue;
        }
        const std::vector<cv::Point2f> projected = reproject(*s, k);
        const PointList2& detected = s->data.imagePoints[k];
        for (int i = 0; i < s->data.pointCount[n]; ++i) {
            cv::circle(image, cv::Point(round(projected[i].x), round(projected[i].y)), 4,
                       cv::Scalar(255, 0, 0, 0), 1, 8, 0);
            cv::circle(image, cv::Point(round(detected[i].x), round(detected[i].y)), 4,
                       cv::Scalar(0, 0, 255, 0), 1, 8, 0);
        }
        const std::string name = numberedName(s->args.reprojFolder, "/reprojectionCam", n, ".png");
        bool ok = false;
        try {
            ok = cv::imwrite(name, image);
        } catch (const cv::Exception&) {
            ok = false;
        }
        if (!ok) {
            std::cerr << "cannot write " << name << std::endl;
            s->unwritten.push_back(name);
        }
    }
}

void writeSummaryFiles(LensrigState* s) {
    const std::string& folder = s->args.paramFolder;
    const std::string errName = folder + "/err_data.txt";
    std::ofstream err(errName);
    err << "camera pointnum = " << s->totalPoints << " \ncam_err = " << s->calibrationError
        << "\t\n";
    closeChecked(s, err, errName);

    const std::string matName = folder + "/Cam_mat.txt";
    std::ofstream mat(matName);
    for (int i = 0; i < 9; ++i) mat << (i ? " " : "") << s->cameraMatrix.at<double>(i / 3, i % 3);
    mat << "\n";
    closeChecked(s, mat, matName);

    // A lens is written whole (k1 k2 p1 p2 k3 [k4 k5 k6]): a reader that takes the first
    // four still gets k1 k2 p1 p2.
    const std::string distName = folder + "/dist.txt";
    std::ofstream dist(distName);
    const int written = distortionFileValues(s->args.model);
    for (int i = 0; i < written; ++i) dist << (i ? " " : "") << s->distortion.at<double>(i);
    dist << "\n";
    closeChecked(s, dist, distName);
}

void writeResults(LensrigState* s) {
    const std::string& name = s->args.resultsName;
    bool ok = false;
    try {
        cv::FileStorage fs(name, cv::FileStorage::WRITE);
        if (fs.isOpened()) {
            cv::Mat rvecs(0, 3, CV_64F), tvecs(0, 3, CV_64F);
            for (std::size_t k = 0; k < s->rotations.size(); ++k) {
                rvecs.push_back(s->rotations[k].reshape(1, 1));
                tvecs.push_back(s->translations[k].reshape(1, 1));
            }
            fs << "model" << lensModelName(s->args.model);
            fs << "image_width" << s->imageSize.width << "image_height" << s->imageSize.height;
            fs << "camera_matrix" << s->cameraMatrix << "distortion_coefficients" << s->distortion;
            fs << "rms" << s->calibrationError << "point_count" << s->totalPoints;
            fs << "image_numbers" << cv::Mat(s->data.trueNum, true);
            fs << "per_view_rms" << cv::Mat(s->perViewRms, true);
            fs << "rvecs" << rvecs << "tvecs" << tvecs;
            // One standard deviation of fx fy cx cy and the coefficients, from the fit's
            // covariance; 0 for what was held fixed.
            fs << "std_deviations" << s->stdDeviations;
            ok = true;
        }
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok) {
        std::cerr << "cannot write " << name << std::endl;
        s->unwritten.push_back(name);
    }
}

bool writtenLensReproducesFit(const LensrigState& s) {
    const std::string& folder = s.args.paramFolder;
    const cv::Mat k = readCameraMatrix(folder + "/Cam_mat.txt");
    const cv::Mat d = readDistortion(folder + "/dist.txt");
    std::vector<cv::Mat> rvecs, tvecs;
    for (int n : s.data.trueNum) {
        rvecs.push_back(readVector3(numberedName(folder, "/cam_R", n, ".txt")));
        tvecs.push_back(readVector3(numberedName(folder, "/cam_t", n, ".txt")));
    }
    const double reread =
        reprojectionRms(s.data.objectPoints, s.data.imagePoints, rvecs, tvecs, k, d);
    if (reproducesFit(reread, s.calibrationError)) return true;
    std::cerr << "lensrig: the written lens does not reproduce the fit: Cam_mat.txt, dist.txt and "
                 "the pose files give an RMS reprojection error of "
              << reread << " px, the calibration " << s.calibrationError
              << " px: their six significant digits cannot hold this lens.\n";
    if (s.args.model == LensModel::kRational)
        std::cerr << "  The coefficients of the rational model cancel each other: calibrate with "
                     "the standard model (mode "
                  << lensrigMode(LensModel::kStandard) << ").\n";
    else
        std::cerr << "  Take the values at full precision (--results FILE).\n";
    std::cerr << "  The files are kept; do not use them as a calibration." << std::endl;
    return false;
}

void warnIfIllConditioned(const LensrigState& s) {
    if (s.args.model == LensModel::kNone) return;
    const LensCondition c = lensCondition(s.cameraMatrix, s.distortion, s.imageSize);
    if (c.ok) return;
    std::cerr << "lensrig: warning: the fitted " << lensModelName(s.args.model)
              << " lens is ill-conditioned over the image: " << c.reason
              << ". It may only hold where the points were; ";
    if (s.args.model == LensModel::kRational)
        std::cerr << "the standard model (mode " << lensrigMode(LensModel::kStandard)
                  << ") is safer.";
    else
        std::cerr << "add views that cover the image corners.";
    std::cerr << std::endl;
}
