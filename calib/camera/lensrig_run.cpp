#include "lensrig_run.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "leading_number.h"
#include "name_pattern.h"
#include "point_files.h"

namespace {
constexpr int kDefaultIterations = 30;
constexpr int kRationalModel = cv::CALIB_RATIONAL_MODEL;  // 16384: k1..k6, p1, p2
constexpr int kNoDistortion =
    cv::CALIB_ZERO_TANGENT_DIST | cv::CALIB_FIX_K1 | cv::CALIB_FIX_K2 | cv::CALIB_FIX_K3;  // 232

struct LensrigState {
    LensrigArgs args;
    Correspondences data;
    std::vector<cv::Mat> images;
    cv::Size imageSize;
    cv::Mat cameraMatrix, distortion;
    std::vector<cv::Mat> rotations, translations;
    double calibrationError = 0.0;
    int totalPoints = 0;
    std::vector<std::string> unwritten;
};

void closeChecked(LensrigState* s, std::ofstream& out, const std::string& name) {
    const bool opened = out.is_open();
    out.close();
    if (!opened || out.fail()) {
        std::cerr << "cannot write " << name << std::endl;
        s->unwritten.push_back(name);
    }
}

void loadImages(LensrigState* s) {
    std::cout << "\nread img " << std::endl;
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const std::string name = expandPattern(s->args.imagePattern, s->data.trueNum[k]);
        std::cout << "img num" << k << " : " << name << std::endl;
        s->images.push_back(cv::imread(name, cv::IMREAD_COLOR));
        if (s->images.back().empty()) {
            std::cerr << "cannot read image " << name << std::endl;
            continue;
        }
        if (s->imageSize.width == 0) s->imageSize = s->images.back().size();
    }
    if (s->imageSize.width == 0)
        throw PointFileError("none of the images could be read: the image size is unknown");
}

void calibrate(LensrigState* s) {
    std::cout << "\ncalibration" << std::endl;
    const bool rational = s->args.mode == 1;
    // Sized up front: OpenCV keeps a given size (8 for the rational model, 5 otherwise).
    s->distortion = cv::Mat::zeros(1, rational ? 8 : 5, CV_64F);
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
                                    rational ? s->args.iterations : kDefaultIterations,
                                    DBL_EPSILON);
    s->calibrationError = cv::calibrateCamera(
        s->data.objectPoints, s->data.imagePoints, s->imageSize, s->cameraMatrix, s->distortion,
        s->rotations, s->translations, rational ? kRationalModel : kNoDistortion, criteria);
    // OpenCV may hand back a longer vector padded with zeros (thin prism, tilt): keep the
    // coefficients of the model that was fitted.
    s->distortion = s->distortion.reshape(1, 1).colRange(0, rational ? 8 : 5).clone();
    std::cout << s->calibrationError << std::endl;
    for (int r = 0; r < 3; ++r)
        std::cout << s->cameraMatrix.at<double>(r, 0) << " " << s->cameraMatrix.at<double>(r, 1)
                  << " " << s->cameraMatrix.at<double>(r, 2) << std::endl;
}

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

std::vector<cv::Point2f> reproject(const LensrigState& s, std::size_t k) {
    std::vector<cv::Point2f> projected;
    cv::projectPoints(s.data.objectPoints[k], s.rotations[k], s.translations[k], s.cameraMatrix,
                      s.distortion, projected, cv::noArray(), 0);
    return projected;
}

// Running RMS error over the views so far; the last line covers every point.
void computeErrors(LensrigState* s) {
    std::cout << "calc_err" << std::endl;
    double pointNumber = 0, squares = 0;
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const int n = s->data.trueNum[k];
        const std::vector<cv::Point2f> projected = reproject(*s, k);
        const PointList2& detected = s->data.imagePoints[k];
        for (int i = 0; i < s->data.pointCount[n]; ++i) {
            pointNumber += 1;
            const double dy = projected[i].y - detected[i].y, dx = projected[i].x - detected[i].x;
            squares += dy * dy + dx * dx;
        }
        s->totalPoints = static_cast<int>(pointNumber);
        std::cout << "RMSE imagenum = " << n << " : " << std::sqrt(squares / pointNumber)
                  << std::endl;
    }
}

void writeReprojectionImages(LensrigState* s) {
    auto round = [](float v) { return static_cast<int>(std::nearbyint(v)); };
    for (std::size_t k = 0; k < s->data.trueNum.size(); ++k) {
        const int n = s->data.trueNum[k];
        const std::string source = expandPattern(s->args.imagePattern, n);
        cv::Mat image = cv::imread(source, cv::IMREAD_COLOR);
        if (image.empty()) {
            std::cerr << "cannot read image " << source << ": no reprojection image for it"
                      << std::endl;
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

    // Mode 1 writes the whole rational model (k1 k2 p1 p2 k3 k4 k5 k6): a reader that
    // takes the first four still gets k1 k2 p1 p2. Mode 0 has no lens: four zeros.
    const std::string distName = folder + "/dist.txt";
    std::ofstream dist(distName);
    const int written = s->args.mode == 1 ? static_cast<int>(s->distortion.total()) : 4;
    for (int i = 0; i < written; ++i) dist << (i ? " " : "") << s->distortion.at<double>(i);
    dist << "\n";
    closeChecked(s, dist, distName);
}
}  // namespace

bool parseLensrigArgs(int argc, char** argv, LensrigArgs* a) {
    if (argc != 8 && argc != 9) {
        std::cerr
            << "Usage: lensrig image_pattern 2d_point_pattern 3d_point_pattern true_num_file mode "
               "param_folder reproj_folder [iterations]\n"
               "  mode 1: rational lens model (k1..k6, p1, p2); mode 0: no lens distortion\n"
               "  example: lensrig img/cam%03d.png pts/cam2D%03d.txt pts/cam3D%03d.txt "
               "pts/cam_true_num.txt "
               "1 param reproj 100\n";
        return false;
    }
    a->imagePattern = argv[1];
    a->pattern2d = argv[2];
    a->pattern3d = argv[3];
    a->trueNumName = argv[4];
    a->mode = leadingInt(argv[5]);
    a->paramFolder = argv[6];
    a->reprojFolder = argv[7];
    a->iterations = argc > 8 ? leadingInt(argv[8]) : kDefaultIterations;
    return true;
}

int runLensrig(const LensrigArgs& args) {
    LensrigState s;
    s.args = args;
    std::cout << "image name : " << args.imagePattern << std::endl;
    std::cout << "2d point name : " << args.pattern2d << std::endl;
    std::cout << "3d point name :" << args.pattern3d << std::endl;
    std::cout << "true name file name : " << args.trueNumName << std::endl;
    std::cout << "param folder name :" << args.paramFolder << std::endl;
    std::cout << "reproj folder name : " << args.reprojFolder << std::endl;
    try {
        if (args.mode != 0 && args.mode != 1) {
            std::cerr
                << "lensrig: mode must be 0 (no lens distortion) or 1 (rational lens model), not "
                << args.mode << std::endl;
            return kLensrigError;
        }
        if (args.mode == 1 && args.iterations < 1) {
            std::cerr << "lensrig: the iteration limit must be at least 1" << std::endl;
            return kLensrigError;
        }
        checkNamePattern(args.imagePattern, "the image pattern");
        checkNamePattern(args.pattern2d, "the 2D point pattern");
        checkNamePattern(args.pattern3d, "the 3D point pattern");
        loadCorrespondences(args.trueNumName, args.pattern2d, args.pattern3d, &s.data);
        if (s.data.trueNum.empty())
            throw PointFileError(args.trueNumName + " lists no image: nothing to calibrate");
        loadImages(&s);
        calibrate(&s);
        writePoseFiles(&s);
        computeErrors(&s);
        writeReprojectionImages(&s);
        writeSummaryFiles(&s);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kLensrigError;
    }
    if (!s.unwritten.empty()) {
        std::cerr << "lensrig: " << s.unwritten.size() << " file(s) could not be written"
                  << std::endl;
        return kLensrigUnwritten;
    }
    return kLensrigOk;
}
