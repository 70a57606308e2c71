#include "lensrig_run.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera_files.h"
#include "image_header.h"
#include "image_size.h"
#include "leading_number.h"
#include "lens_model.h"
#include "name_pattern.h"
#include "point_files.h"
#include "view_checks.h"

namespace {
constexpr int kDefaultIterations = 30;
constexpr int kRationalModel = cv::CALIB_RATIONAL_MODEL;  // 16384: k1..k6, p1, p2
constexpr int kStandardModel = 0;                         // k1 k2 p1 p2 k3
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
    cv::Mat stdDeviations;  // of fx fy cx cy and the distortion coefficients
    int totalPoints = 0;
    std::vector<double> perViewRms;
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

// Views that would end in a library assertion or a fit that only looks like one: named
// with the fix, before any calibration.
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

// The image size (given or from the first photo) must be the one the points were found at.
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
    const bool rational = s->args.mode == 1, lens = s->args.mode != 0;
    // Sized up front: OpenCV keeps a given size (8 for the rational model, 5 otherwise).
    s->distortion = cv::Mat::zeros(1, rational ? 8 : 5, CV_64F);
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS,
                                    lens ? s->args.iterations : kDefaultIterations, DBL_EPSILON);
    const int flags = rational ? kRationalModel : lens ? kStandardModel : kNoDistortion;
    cv::Mat extrinsicDeviations, perViewErrors;
    s->calibrationError =
        cv::calibrateCamera(s->data.objectPoints, s->data.imagePoints, s->imageSize,
                            s->cameraMatrix, s->distortion, s->rotations, s->translations,
                            s->stdDeviations, extrinsicDeviations, perViewErrors, flags, criteria);
    s->stdDeviations = s->stdDeviations.reshape(1, 1).colRange(0, 4 + (rational ? 8 : 5)).clone();
    // OpenCV may hand back a longer vector padded with zeros (thin prism, tilt): keep the
    // coefficients of the model that was fitted.
    s->distortion = s->distortion.reshape(1, 1).colRange(0, rational ? 8 : 5).clone();
    const std::string unusable = unusableFitReason(s->cameraMatrix);
    if (!unusable.empty())
        throw PointFileError("lensrig: " + unusable + ": check the image size and the point files");
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

    // Modes 1 and 2 write the whole fitted model (k1 k2 p1 p2 k3 [k4 k5 k6]): a reader
    // that takes the first four still gets k1 k2 p1 p2. Mode 0 has no lens: four zeros.
    const std::string distName = folder + "/dist.txt";
    std::ofstream dist(distName);
    const int written = s->args.mode != 0 ? static_cast<int>(s->distortion.total()) : 4;
    for (int i = 0; i < written; ++i) dist << (i ? " " : "") << s->distortion.at<double>(i);
    dist << "\n";
    closeChecked(s, dist, distName);
}
const char* modelName(int mode) {
    return mode == 1 ? "rational" : mode == 2 ? "standard" : "none";
}

// Every result at full precision, for programs that take the calibration further.
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
            fs << "model" << modelName(s->args.mode);
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

// The lens as the files hold it (six significant digits) must give the fitted error.
// Returns false after saying on stderr by how much it misses.
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
    if (s.args.mode == 1)
        std::cerr << "  The coefficients of the rational model cancel each other: calibrate with "
                     "the standard model (mode 2).\n";
    else
        std::cerr << "  Take the values at full precision (--results FILE).\n";
    std::cerr << "  The files are kept; do not use them as a calibration." << std::endl;
    return false;
}

void warnIfIllConditioned(const LensrigState& s) {
    if (s.args.mode == 0) return;
    const LensCondition c = lensCondition(s.cameraMatrix, s.distortion, s.imageSize);
    if (c.ok) return;
    std::cerr << "lensrig: warning: the fitted " << modelName(s.args.mode)
              << " lens is ill-conditioned over the image: " << c.reason
              << ". It may only hold where the points were; "
              << (s.args.mode == 1 ? "the standard model (mode 2) is safer."
                                   : "add views that cover the image corners.")
              << std::endl;
}
}  // namespace

void printLensrigUsage(std::ostream& out) {
    out << "Usage: lensrig [--size WxH] [--results FILE] image_pattern 2d_point_pattern "
           "3d_point_pattern true_num_file mode param_folder reproj_folder [iterations]\n"
           "  mode 0: no lens distortion; 1: rational lens model (k1..k6, p1, p2);\n"
           "  2: standard lens model (k1 k2 p1 p2 k3)\n"
           "  --size WxH: the image size, needed when there are no photos (image_pattern -)\n"
           "  --results FILE: every result at full precision, OpenCV YAML\n"
           "  exit status 3: the files written do not reproduce the fit\n"
           "  example: lensrig img/cam%03d.png pts/cam2D%03d.txt pts/cam3D%03d.txt "
           "pts/cam_true_num.txt "
           "2 param reproj 100\n";
}

bool parseLensrigArgs(int argc, char** argv, LensrigArgs* a) {
    int first = 1;  // first positional argument
    bool optionsOk = true;
    while (first < argc && optionsOk) {
        const std::string option = argv[first];
        if (option == "--size" && first + 1 < argc) {
            optionsOk = parseImageSize(argv[first + 1], &a->size.width, &a->size.height);
            if (!optionsOk) std::cerr << "lensrig: --size takes WxH, e.g. 1280x960\n";
        } else if (option == "--results" && first + 1 < argc) {
            a->resultsName = argv[first + 1];
        } else {
            break;
        }
        first += 2;
    }
    argc -= first - 1;
    argv += first - 1;
    if (!optionsOk || (argc != 8 && argc != 9)) {
        printLensrigUsage(std::cerr);
        return false;
    }
    a->imagePattern = argv[1];
    a->pattern2d = argv[2];
    a->pattern3d = argv[3];
    a->trueNumName = argv[4];
    a->paramFolder = argv[6];
    a->reprojFolder = argv[7];
    a->iterations = kDefaultIterations;
    // Whole numbers only: "abc" or "1abc" is a mistake, not mode 0 or 1.
    if (!wholeInt(argv[5], &a->mode) || (argc > 8 && !wholeInt(argv[8], &a->iterations))) {
        std::cerr << "lensrig: mode and iterations must be whole numbers, not "
                  << (argc > 8 ? std::string(argv[5]) + " and " + argv[8] : argv[5]) << "\n";
        printLensrigUsage(std::cerr);
        return false;
    }
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
        if (args.mode < 0 || args.mode > 2) {
            std::cerr << "lensrig: mode must be 0 (no lens distortion), 1 (rational lens model) or "
                         "2 (standard lens model), not "
                      << args.mode << std::endl;
            return kLensrigError;
        }
        if (args.imagePattern == kNoPhotos && args.size.width == 0) {
            std::cerr << "lensrig: without photos (image pattern -) the image size must be given "
                         "with --size WxH"
                      << std::endl;
            return kLensrigError;
        }
        if (args.mode != 0 && args.iterations < 1) {
            std::cerr << "lensrig: the iteration limit must be at least 1" << std::endl;
            return kLensrigError;
        }
        checkNamePattern(args.imagePattern, "the image pattern");
        checkNamePattern(args.pattern2d, "the 2D point pattern");
        checkNamePattern(args.pattern3d, "the 3D point pattern");
        loadCorrespondences(args.trueNumName, args.pattern2d, args.pattern3d, &s.data);
        if (s.data.trueNum.empty())
            throw PointFileError(args.trueNumName + " lists no image: nothing to calibrate");
        checkViews(s);
        loadImages(&s);
        checkImageSize(s);
        calibrate(&s);
        writePoseFiles(&s);
        computeErrors(&s);
        writeReprojectionImages(&s);
        writeSummaryFiles(&s);
        if (!s.args.resultsName.empty()) writeResults(&s);
        warnIfIllConditioned(s);
        if (s.unwritten.empty() && !writtenLensReproducesFit(s)) return kLensrigNotReproduced;
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
