#include "warpdots_run.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <sstream>

#include "camera_files.h"
#include "leading_number.h"
#include "lens_model.h"
#include "name_pattern.h"
#include "point_files.h"

namespace {
constexpr int kUndistortIterations = 200;
constexpr double kInverseTolerancePx = 0.01;  // a converged undistortion re-distorts this close
constexpr std::size_t kNamedPoints = 5;

struct Uninvertible {
    std::string file;
    int line;
    cv::Point2f point;
    std::string why;
};

cv::Point2d normalised(cv::Point2f p, const cv::Mat& k) {
    return {(p.x - k.at<double>(0, 2)) / k.at<double>(0, 0),
            (p.y - k.at<double>(1, 2)) / k.at<double>(1, 1)};
}

// Points the lens model cannot take through this mode: undistorted points that do not
// distort back onto their input (the iteration did not converge) or that lie where the
// model folds (the inverse is not unique there); distorted points where it folds.
void findUninvertible(const PointList2& in, const PointList2& out, const cv::Mat& k,
                      const cv::Mat& d, bool distortMode, const std::string& file,
                      std::vector<Uninvertible>* found) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        const cv::Point2f& o = out[i];
        const int line = static_cast<int>(i) + 1;
        if (!std::isfinite(o.x) || !std::isfinite(o.y)) {
            found->push_back({file, line, in[i], "no finite result"});
            continue;
        }
        const cv::Point2d at = normalised(distortMode ? in[i] : o, k);
        if (distortionJacobian(at, d) <= 0) {
            found->push_back({file, line, in[i], "the lens model folds there"});
            continue;
        }
        if (distortMode) continue;
        const cv::Point2d back = distortNormalised(at, d);
        const double missPx =
            std::hypot(back.x * k.at<double>(0, 0) + k.at<double>(0, 2) - in[i].x,
                       back.y * k.at<double>(1, 1) + k.at<double>(1, 2) - in[i].y);
        if (!(missPx <= kInverseTolerancePx))
            found->push_back({file, line, in[i],
                              "the undistortion did not converge (it distorts back " +
                                  std::to_string(missPx) + " px away)"});
    }
}

void reportUninvertible(const std::vector<Uninvertible>& found, bool distortMode) {
    std::cerr << "warpdots: " << found.size() << " point(s) could not be "
              << (distortMode ? "distorted" : "undistorted")
              << " reliably: the lens model does not invert there" << std::endl;
    for (std::size_t i = 0; i < found.size() && i < kNamedPoints; ++i)
        std::cerr << "  " << found[i].file << " line " << found[i].line << " (" << found[i].point.x
                  << ", " << found[i].point.y << "): " << found[i].why << std::endl;
    if (found.size() > kNamedPoints)
        std::cerr << "  and " << found.size() - kNamedPoints << " more" << std::endl;
    std::cerr << "  The output files keep them as computed. Calibrate the camera with the standard "
                 "lens model (lensrig mode 2), or with views that cover the image corners."
              << std::endl;
}

PointList2 undistort(const PointList2& in, const cv::Mat& k, const cv::Mat& d) {
    PointList2 out;
    if (in.empty()) return out;
    const cv::Mat src(static_cast<int>(in.size()), 1, CV_32FC2,
                      const_cast<cv::Point2f*>(in.data()));
    // OpenCV stops its fixed-point iteration after 5 steps by default, short of the
    // inverse for a strong or rational lens; iterate until it has converged.
    cv::undistortPoints(src, out, k, d, cv::Mat::eye(3, 3, CV_32F), k,
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS,
                                         kUndistortIterations, 1e-12));
    return out;
}

PointList2 distort(const PointList2& in, const cv::Mat& k, const cv::Mat& d) {
    PointList2 out;
    if (in.empty()) return out;
    const cv::Mat src(static_cast<int>(in.size()), 1, CV_32FC2,
                      const_cast<cv::Point2f*>(in.data()));
    PointList2 normalised;
    cv::undistortPoints(src, normalised, k, cv::Mat(), cv::noArray(), cv::noArray());
    std::vector<cv::Point3f> rays;
    for (const cv::Point2f& p : normalised) rays.emplace_back(p.x, p.y, 1.0f);
    cv::projectPoints(rays, cv::Mat::zeros(3, 1, CV_64F), cv::Mat::zeros(3, 1, CV_64F), k, d, out,
                      cv::noArray(), 0);
    return out;
}
}  // namespace

bool parseWarpdotsArgs(int argc, char** argv, WarpdotsArgs* a) {
    if (argc < 6) {
        std::cout << "[true num txt][camMat txt][dist txt][2D point txt][output 2D point "
                     "txt][distort points:1 "
                     "undist points:0]"
                  << std::endl;
        return false;
    }
    a->trueNumName = argv[1];
    a->cameraMatrixName = argv[2];
    a->distortionName = argv[3];
    a->pattern2d = argv[4];
    a->outputPattern = argv[5];
    // A whole number: 1 distorts, any other undistorts; "abc" or "1abc" is a mistake.
    int mode = 0;
    if (argc > 6 && !wholeInt(argv[6], &mode)) {
        std::cerr << "warpdots: the mode must be a whole number (1: distort points, 0: undistort "
                     "them), not "
                  << argv[6] << std::endl;
        a->modeUnreadable = true;
        return false;
    }
    a->distort = mode == 1;
    return true;
}

int runWarpdots(const WarpdotsArgs& a) {
    std::cout << "true num file name;" << a.trueNumName << std::endl;
    std::cout << "camMat file name;" << a.cameraMatrixName << std::endl;
    std::cout << "dist file name;" << a.distortionName << std::endl;
    std::cout << "2D point file name:" << a.pattern2d << std::endl;
    std::cout << "output 2D point file name:" << a.outputPattern << std::endl;
    if (a.distort) std::cout << "make point distorted" << std::endl;
    std::vector<std::string> unwritten;
    try {
        checkNamePattern(a.pattern2d, "the 2D point pattern");
        checkNamePattern(a.outputPattern, "the output 2D point pattern");
        std::cout << "read_true_num_file_name = " << a.trueNumName << std::endl;
        std::vector<int> trueNum;
        readTrueNum(a.trueNumName, &trueNum);

        std::cout << "set_camMat_name = " << a.cameraMatrixName << std::endl;
        std::cout << "\nread camMat" << std::endl;
        const cv::Mat k = readCameraMatrix(a.cameraMatrixName);
        std::cout << "\ncamMat =";
        for (int r = 0; r < 3; ++r)
            std::cout << k.at<double>(r, 0) << " " << k.at<double>(r, 1) << " "
                      << k.at<double>(r, 2) << std::endl;

        std::cout << "distfile_name = " << a.distortionName << std::endl;
        std::cout << "\nread dist param" << std::endl;
        // A matrix without an inverse maps no pixel to a ray: every point would be nan.
        const double fx = k.at<double>(0, 0), fy = k.at<double>(1, 1);
        if (!(fx > 0 && fy > 0) || !(std::fabs(cv::determinant(k)) > 0))
            throw PointFileError("warpdots: " + a.cameraMatrixName +
                                 " is a singular camera matrix (fx " + std::to_string(fx) +
                                 ", fy " + std::to_string(fy) +
                                 "): it maps no pixel to a ray; give the camera matrix lensrig "
                                 "wrote (Cam_mat.txt)");
        const cv::Mat d = readDistortion(a.distortionName);
        std::cout << "\ndist param =";
        for (int i = 0; i < static_cast<int>(d.total()); ++i)
            std::cout << (i ? " " : "") << d.at<double>(i);
        std::cout << std::endl;

        std::cout << "read_2d_points_file_name = " << a.pattern2d << std::endl;
        std::vector<PointList2> input;
        read2dPoints(a.pattern2d, trueNum, &input);

        std::cout << (a.distort ? "do dist points" : "do undist points") << std::endl;
        std::vector<PointList2> output;
        std::vector<Uninvertible> uninvertible;
        for (std::size_t i = 0; i < input.size(); ++i) {
            const PointList2& points = input[i];
            output.push_back(a.distort ? distort(points, k, d) : undistort(points, k, d));
            findUninvertible(points, output.back(), k, d, a.distort,
                             expandPattern(a.pattern2d, trueNum[i]), &uninvertible);
        }

        std::cout << "output_2d_name = " << a.outputPattern << std::endl;
        for (std::size_t i = 0; i < trueNum.size(); ++i) {
            const std::string name = expandPattern(a.outputPattern, trueNum[i]);
            std::ofstream out(name);
            for (const cv::Point2f& p : output[i]) out << p.x << "  " << p.y << "\n";
            out.close();
            if (out.fail()) {
                std::cerr << "cannot write " << name << std::endl;
                unwritten.push_back(name);
            }
        }
        if (!uninvertible.empty()) {
            reportUninvertible(uninvertible, a.distort);
            if (unwritten.empty()) return kWarpdotsNotInverted;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kWarpdotsError;
    }
    if (!unwritten.empty()) {
        std::cerr << "warpdots: " << unwritten.size() << " file(s) could not be written"
                  << std::endl;
        return kWarpdotsUnwritten;
    }
    return kWarpdotsOk;
}
