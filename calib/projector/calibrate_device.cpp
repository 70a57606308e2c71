#include "calibrate_device.h"

#include <cfloat>
#include <fstream>
#include <iostream>
#include <opencv2/calib3d.hpp>

#include "device_fit.h"
#include "lens_model_flags.h"
#include "projector_constants.h"

namespace {
void printRows(const cv::Mat& m) {
    for (int r = 0; r < 3; ++r)
        std::cout << m.at<double>(r, 0) << " " << m.at<double>(r, 1) << " " << m.at<double>(r, 2)
                  << std::endl;
}

void writeLine(const std::vector<double>& values, const std::string& name,
               std::vector<std::string>* unwritten) {
    std::ofstream out(name);
    for (std::size_t i = 0; i < values.size(); ++i) out << (i ? " " : "") << values[i];
    out << "\n";
    out.close();
    if (out.fail()) {
        std::cerr << "cannot write " << name << std::endl;
        unwritten->push_back(name);
    }
}
}  // namespace

void calibrateDevice(CalibData* d, LensModel model) {
    std::cout << "do calibrate" << std::endl;
    const cv::TermCriteria criteria = deviceFitCriteria();
    const int coefficients = lensModelTraits(model).fittedCoefficients;
    d->distortion = cv::Mat::zeros(1, coefficients, CV_64F);
    cv::Mat extrinsicDeviations, perViewErrors;
    const double error = cv::calibrateCamera(
        d->objectPoints, d->imagePoints, cv::Size(d->width, d->height), d->cameraMatrix,
        d->distortion, d->rotations, d->translations, d->stdDeviations, extrinsicDeviations,
        perViewErrors, calibrationFlags(model), criteria);
    d->stdDeviations = d->stdDeviations.reshape(1, 1).colRange(0, 4 + coefficients).clone();
    d->distortion = d->distortion.reshape(1, 1).colRange(0, coefficients).clone();
    d->rms = error;
    std::cout << "RMSE = " << error << std::endl;
    printRows(d->cameraMatrix);
    std::cout << d->distortion.at<double>(0) << " " << d->distortion.at<double>(1) << " "
              << d->distortion.at<double>(2) << std::endl;
}

void stereoCalibrateDevices(CalibData* camera, const CalibData& projector) {
    std::cout << "do stereocalibrate" << std::endl;
    cv::Mat k1 = camera->cameraMatrix.clone(), d1 = camera->distortion.clone();
    cv::Mat k2 = projector.cameraMatrix.clone(), d2 = projector.distortion.clone();
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
                                    kStereoIterations, static_cast<double>(kStereoEpsilon));
    const double error = cv::stereoCalibrate(
        projector.objectPoints, projector.projOnCamPoints, projector.imagePoints, k1, d1, k2, d2,
        camera->stereoImageSize, camera->stereoR, camera->stereoT, camera->stereoE, camera->stereoF,
        cv::CALIB_FIX_INTRINSIC, criteria);
    camera->stereoRms = error;
    std::cout << "RMSE = " << error << std::endl;
    std::cout << "\ncam0 Mat = " << std::endl;
    printRows(k1);
    std::cout << "\ncam1 Mat = " << std::endl;
    printRows(k2);
    std::cout << "\nRotation =";
    printRows(camera->stereoR);
    std::cout << "\nTrasration =" << camera->stereoT.at<double>(0) << " "
              << camera->stereoT.at<double>(1) << " " << camera->stereoT.at<double>(2) << std::endl;
    std::cout << "\nF =";
    printRows(camera->stereoF);
    std::cout << "\nE =";
    printRows(camera->stereoE);
}

void writeMatrixFile(const cv::Mat& m, const std::string& name,
                     std::vector<std::string>* unwritten) {
    writeValuesLine(m, static_cast<int>(m.total()), name, unwritten);
}

void writeValuesLine(const cv::Mat& values, int count, const std::string& name,
                     std::vector<std::string>* unwritten) {
    std::vector<double> v;
    const cv::Mat flat = values.reshape(1, 1);
    for (int i = 0; i < count; ++i) v.push_back(flat.at<double>(i));
    writeLine(v, name, unwritten);
}
