#include "lensrig_fit.h"

#include <cfloat>
#include <cmath>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "image_header.h"
#include "lens_model_flags.h"
#include "name_pattern.h"
#include "view_checks.h"

void loadImages(LensrigState* s) {
    std::cout << "\nread img " << std::endl;
    s->imageSize = s->args.size;
    if (s->args.imagePattern == kNoPhotos) return;
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const std::string name = expandPattern(s->args.imagePattern, s->data.trueNum[k]);
        std::cout << "img num" << k << " : " << name << std::endl;
        const std::string tooLarge = imageTooLarge(name);
        if (!tooLarge.empty()) {
            std::cerr << tooLarge << std::endl;
            s->images.emplace_back();
            continue;
        }
        s->images.push_back(cv::imread(name, cv::IMREAD_COLOR));
        if (s->images.back().empty()) {
            std::cerr << "cannot read image " << name << std::endl;
            continue;
        }
        if (s->imageSize.width == 0) s->imageSize = s->images.back().size();
        if (s->images.back().size() != s->imageSize)
            throw PointFileError(name + " is " + std::to_string(s->images.back().cols) + " x " +
                                 std::to_string(s->images.back().rows) + " but the images are " +
                                 std::to_string(s->imageSize.width) + " x " +
                                 std::to_string(s->imageSize.height) +
                                 (s->args.size.width ? " (--size)" : " (the first image)"));
    }
    if (s->imageSize.width == 0)
        throw PointFileError("none of the images could be read: the image size is unknown");
}

void checkViews(const LensrigState& s) {
    const Correspondences& d = s.data;
    const std::string repeated = duplicateViewReason(d.trueNum);
    if (!repeated.empty())
        throw PointFileError(s.args.trueNumName + ": " + repeated +
                             ": list every view once (the points of a repeated view count as new "
                             "views and bias the fit)");
    for (std::size_t k = 0; k < d.trueNum.size(); ++k) {
        const std::string view = "view " + std::to_string(k) + " (image " +
                                 std::to_string(d.trueNum[k]) + ", " +
                                 expandPattern(s.args.pattern2d, d.trueNum[k]) + ")";
        const std::string reason = unusableViewReason(d.imagePoints[k], d.objectPoints[k]);
        if (!reason.empty())
            throw PointFileError(view + " cannot constrain the calibration: " + reason +
                                 ". Leave it out of " + s.args.trueNumName +
                                 " or detect its markers again");
    }
    if (d.trueNum.size() < static_cast<std::size_t>(kMinViews))
        throw PointFileError(s.args.trueNumName + " lists " + std::to_string(d.trueNum.size()) +
                             " view(s): at least " + std::to_string(kMinViews) +
                             " are needed to calibrate");
}

void checkImageSize(const LensrigState& s) {
    const std::string source = s.args.size.width ? " (--size)" : " (the first image)";
    for (std::size_t k = 0; k < s.data.trueNum.size(); ++k) {
        const std::string outside = pointOutsideReason(s.data.imagePoints[k], s.imageSize);
        if (!outside.empty())
            throw PointFileError("view " + std::to_string(k) + " (image " +
                                 std::to_string(s.data.trueNum[k]) + "): " + outside + source +
                                 ": the image size does not fit the points");
    }
    const std::string larger = sizeFarLargerReason(s.data.imagePoints, s.imageSize);
    if (!larger.empty()) throw PointFileError(larger + source);
}

void calibrate(LensrigState* s) {
    std::cout << "\ncalibration" << std::endl;
    const LensModel model = s->args.model;
    const int coefficients = lensModelTraits(model).fittedCoefficients;
    // Sized up front: OpenCV keeps a given size.
    s->distortion = cv::Mat::zeros(1, coefficients, CV_64F);
    const cv::TermCriteria criteria(
        cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
        model != LensModel::kNone ? s->args.iterations : kLensrigDefaultIterations, DBL_EPSILON);
    const int flags = calibrationFlags(model);
    cv::Mat extrinsicDeviations, perViewErrors;
    s->calibrationError =
        cv::calibrateCamera(s->data.objectPoints, s->data.imagePoints, s->imageSize,
                            s->cameraMatrix, s->distortion, s->rotations, s->translations,
                            s->stdDeviations, extrinsicDeviations, perViewErrors, flags, criteria);
    s->stdDeviations = s->stdDeviations.reshape(1, 1).colRange(0, 4 + coefficients).clone();
    // OpenCV may hand back a longer vector padded with zeros (thin prism, tilt): keep the
    // coefficients of the model that was fitted.
    s->distortion = s->distortion.reshape(1, 1).colRange(0, coefficients).clone();
    const std::string unusable = unusableFitReason(s->cameraMatrix);
    if (!unusable.empty())
        throw PointFileError("lensrig: " + unusable + ": check the image size and the point files");
    std::cout << s->calibrationError << std::endl;
    for (int r = 0; r < 3; ++r)
        std::cout << s->cameraMatrix.at<double>(r, 0) << " " << s->cameraMatrix.at<double>(r, 1)
                  << " " << s->cameraMatrix.at<double>(r, 2) << std::endl;
}

std::vector<cv::Point2f> reproject(const LensrigState& s, std::size_t k) {
    std::vector<cv::Point2f> projected;
    cv::projectPoints(s.data.objectPoints[k], s.rotations[k], s.translations[k], s.cameraMatrix,
                      s.distortion, projected, cv::noArray(), 0);
    return projected;
}

void computeErrors(LensrigState* s) {
    std::cout << "calc_err" << std::endl;
    double pointNumber = 0, squares = 0;
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const int n = s->data.trueNum[k];
        const std::vector<cv::Point2f> projected = reproject(*s, k);
        const PointList2& detected = s->data.imagePoints[k];
        double viewSquares = 0;
        for (int i = 0; i < s->data.pointCount[n]; ++i) {
            pointNumber += 1;
            const double dy = projected[i].y - detected[i].y, dx = projected[i].x - detected[i].x;
            squares += dy * dy + dx * dx;
            viewSquares += dy * dy + dx * dx;
        }
        s->perViewRms.push_back(
            projected.empty() ? 0.0
                              : std::sqrt(viewSquares / static_cast<double>(projected.size())));
        s->totalPoints = static_cast<int>(pointNumber);
        std::cout << "RMSE imagenum = " << n << " : " << std::sqrt(squares / pointNumber)
                  << std::endl;
    }
}
