#include "ros_export.h"

#include <cstdio>
#include <fstream>
#include <opencv2/calib3d.hpp>

#include "lens_model_kind.h"
#include "mrcal_export.h"

namespace {
std::string rosNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string matrix(const std::string& key, const cv::Mat& m) {
    cv::Mat d;
    m.convertTo(d, CV_64F);
    std::string s = key + ":\n  rows: " + std::to_string(d.rows) +
                    "\n  cols: " + std::to_string(d.cols) + "\n  data: [";
    for (int r = 0; r < d.rows; ++r)
        for (int c = 0; c < d.cols; ++c)
            s += (r == 0 && c == 0 ? "" : ", ") + rosNumber(d.at<double>(r, c));
    return s + "]\n";
}

cv::Mat coefficients(const DeviceResult& d, int terms) {
    cv::Mat c = cv::Mat::zeros(1, terms, CV_64F);
    if (d.distortion.empty()) return c;
    const cv::Mat given = d.distortion.reshape(1, 1);
    for (int i = 0; i < std::min(terms, given.cols); ++i)
        c.at<double>(0, i) = given.at<double>(0, i);
    return c;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return !out.fail();
}
}  // namespace

bool rosCameraInfoText(const std::string& name, const DeviceResult& d, const cv::Mat& rectification,
                       const cv::Mat& projection, std::string* text) {
    const int terms = distortionTerms(d);
    if (terms < 0) return false;
    const bool rational = terms == coefficientCount(LensModel::kRational);
    std::string s = checksComment(d) + "image_width: " + std::to_string(d.size.width) +
                    "\nimage_height: " + std::to_string(d.size.height) + "\ncamera_name: " + name +
                    "\n";
    s += matrix("camera_matrix", d.cameraMatrix);
    s +=
        std::string("distortion_model: ") + (rational ? "rational_polynomial" : "plumb_bob") + "\n";
    s += matrix(
        "distortion_coefficients",
        coefficients(d, coefficientCount(rational ? LensModel::kRational : LensModel::kStandard)));
    s += matrix("rectification_matrix", rectification);
    s += matrix("projection_matrix", projection);
    *text = s;
    return true;
}

bool writeRosCameraInfo(const std::string& folder, const Results& r) {
    std::string cameraText, projectorText;
    if (!r.hasProjector) {
        cv::Mat p = cv::Mat::zeros(3, 4, CV_64F);
        r.camera.cameraMatrix.copyTo(p.colRange(0, 3));
        return rosCameraInfoText("camera", r.camera, cv::Mat::eye(3, 3, CV_64F), p, &cameraText) &&
               writeText(folder + "/camera_info_camera.yaml", cameraText);
    }
    if (distortionTerms(r.camera) < 0 || distortionTerms(r.projector) < 0) return false;
    cv::Mat r1, r2, p1, p2, q;
    cv::stereoRectify(r.camera.cameraMatrix, r.camera.distortion, r.projector.cameraMatrix,
                      r.projector.distortion, r.camera.size, r.stereo.r, r.stereo.t, r1, r2, p1, p2,
                      q);
    return rosCameraInfoText("camera", r.camera, r1, p1, &cameraText) &&
           rosCameraInfoText("projector", r.projector, r2, p2, &projectorText) &&
           writeText(folder + "/camera_info_camera.yaml", cameraText) &&
           writeText(folder + "/camera_info_projector.yaml", projectorText);
}
