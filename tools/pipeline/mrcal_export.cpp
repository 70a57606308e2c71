#include "mrcal_export.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <opencv2/calib3d.hpp>

#include "lens_model_kind.h"

namespace {
const int kMrcalMaxTerms = coefficientCount(LensModel::kRational);       // LENSMODEL_OPENCV8
const int kMrcalStandardTerms = coefficientCount(LensModel::kStandard);  // LENSMODEL_OPENCV5

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string list(const std::vector<double>& values) {
    std::string s = "[";
    for (double v : values) s += " " + number(v) + ",";
    return s + " ]";
}

double coefficient(const DeviceResult& d, int i) {
    if (d.distortion.empty()) return 0.0;
    const cv::Mat c = d.distortion.reshape(1, 1);
    return i < c.cols ? c.at<double>(0, i) : 0.0;
}
}  // namespace

std::string checksComment(const DeviceResult& d) {
    std::string checks = d.checks;
    std::replace(checks.begin(), checks.end(), '\n', ' ');
    return "# checks: " + checks + "\n";
}

int distortionTerms(const DeviceResult& d) {
    const int n = static_cast<int>(d.distortion.total());
    for (int i = kMrcalMaxTerms; i < n; ++i)
        if (coefficient(d, i) != 0) return -1;
    int last = -1;  // the last coefficient that is not zero
    for (int i = 0; i < std::min(n, kMrcalMaxTerms); ++i)
        if (coefficient(d, i) != 0) last = i;
    if (lensModelNamed(d.model, LensModel::kNone) == LensModel::kRational ||
        last >= kMrcalStandardTerms)
        return kMrcalMaxTerms;
    return last < 0 ? 0 : kMrcalStandardTerms;
}

bool mrcalModelText(const DeviceResult& d, const cv::Mat& rFromRef, const cv::Mat& tFromRef,
                    const std::string& note, std::string* text) {
    const int terms = distortionTerms(d);
    if (terms < 0) return false;
    const char* lens = terms == 0                     ? "LENSMODEL_PINHOLE"
                       : terms == kMrcalStandardTerms ? "LENSMODEL_OPENCV5"
                                                      : "LENSMODEL_OPENCV8";
    const cv::Mat k = d.cameraMatrix;
    std::vector<double> intrinsics = {k.at<double>(0, 0), k.at<double>(1, 1), k.at<double>(0, 2),
                                      k.at<double>(1, 2)};
    for (int i = 0; i < terms; ++i) intrinsics.push_back(coefficient(d, i));
    cv::Mat rvec;
    cv::Rodrigues(rFromRef, rvec);
    std::vector<double> extrinsics;
    for (int i = 0; i < 3; ++i) extrinsics.push_back(rvec.at<double>(i));
    for (int i = 0; i < 3; ++i) extrinsics.push_back(tFromRef.at<double>(i));
    std::string s = "# " + note + "\n" + checksComment(d);
    s += "# pixels: (0, 0) is the centre of the top-left pixel; translations in board units\n";
    s += "{\n    'lensmodel':  '" + std::string(lens) + "',\n\n";
    s += "    # intrinsics are fx,fy,cx,cy,distortion0,distortion1,....\n";
    s += "    'intrinsics': " + list(intrinsics) + ",\n\n";
    s += "    # extrinsics are rt_fromref\n";
    s += "    'extrinsics': " + list(extrinsics) + ",\n\n";
    s += "    'imagersize': [ " + std::to_string(d.size.width) + ", " +
         std::to_string(d.size.height) + ", ],\n}\n";
    *text = s;
    return true;
}

bool writeMrcalModels(const std::string& folder, const Results& r) {
    auto write = [&](const std::string& name, const DeviceResult& d, const cv::Mat& rFromRef,
                     const cv::Mat& tFromRef, const std::string& note) {
        std::string text;
        if (!mrcalModelText(d, rFromRef, tFromRef, note, &text)) return false;
        std::ofstream out(folder + "/" + name, std::ios::binary);
        out << text;
        out.close();
        return !out.fail();
    };
    bool written = write("camera.cameramodel", r.camera, cv::Mat::eye(3, 3, CV_64F),
                         cv::Mat::zeros(3, 1, CV_64F), "rigflow: the camera, at the reference");
    if (r.hasProjector)
        written = written && write("projector.cameramodel", r.projector, r.stereo.r, r.stereo.t,
                                   "rigflow: the projector, seen from the camera (stereo R, T)");
    return written;
}
