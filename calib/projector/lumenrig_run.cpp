#include "lumenrig_run.h"

#include <cstdlib>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/persistence.hpp>
#include <tuple>

#include "back_project.h"
#include "calib_data.h"
#include "calibrate_device.h"
#include "camera_files.h"
#include "correspondence_folder.h"
#include "image_size.h"
#include "leading_number.h"
#include "lens_model.h"
#include "name_pattern.h"
#include "point_files.h"
#include "projector_constants.h"
#include "view_checks.h"

namespace {
void printImageNames(const std::string& pattern, const std::vector<int>& trueNum) {
    // The images are not needed by the calibrations; their names are part of the trace.
    for (int n : trueNum) std::cout << expandPattern(pattern, n) << std::endl;
}

// Position of each projector view's image number in the camera's list; views without a
// camera view are dropped (reported on stderr).
std::vector<int> pairViews(const std::vector<int>& camera, std::vector<int>* projector) {
    std::vector<int> kept, poseIndex;
    for (int n : *projector) {
        const int view = pairedCameraView(camera, n);
        if (view < 0) {
            std::cerr << "projector image " << n
                      << " has no camera view with the same image number: left out" << std::endl;
            continue;
        }
        kept.push_back(n);
        poseIndex.push_back(view);
    }
    *projector = kept;
    return poseIndex;
}

void checkInputFiles(const LumenrigArgs& a);

// Everything that can be wrong with the inputs, found before any calibration.
void checkInputs(const LumenrigArgs& a) {
    for (const auto& [pattern, what] :
         {std::pair{a.camImages, "the camera image pattern"},
          std::pair{a.cam2d, "the camera 2D point pattern"},
          std::pair{a.cam3d, "the camera 3D point pattern"},
          std::pair{a.projImages, "the projector image pattern"},
          std::pair{a.projOnCam, "the projector-on-camera point pattern"},
          std::pair{a.projPattern, "the projector pattern point pattern"}})
        checkNamePattern(pattern, what);
    try {
        checkInputFiles(a);
    } catch (const PointFileError& e) {
        // The quiet readers name the file; the fixed line is what every reader prints.
        if (std::string(e.what()).rfind("cannot read ", 0) == 0)
            std::cout << "file cannot be read.\n" << std::flush;
        throw;
    }
}

void refuseView(const std::string& device, int n, const std::string& file, const std::string& list,
                const std::string& reason) {
    throw PointFileError(device + " image " + std::to_string(n) + " (" + file +
                         ") cannot constrain the calibration: " + reason + ". Leave it out of " +
                         list + " or detect its markers again");
}

void refuseDuplicates(const std::vector<int>& numbers, const std::string& list) {
    const std::string repeated = duplicateViewReason(numbers);
    if (!repeated.empty())
        throw PointFileError(list + ": " + repeated +
                             ": list every view once (a repeated view counts as new views and "
                             "biases the fit)");
}

void refuseTooFew(int views, const std::string& what) {
    if (views < kMinViews)
        throw PointFileError(std::to_string(views) + " " + what + ": at least " +
                             std::to_string(kMinViews) + " are needed to calibrate");
}

void checkFits(const std::string& device, int n, const PointList2& points, cv::Size size,
               const std::string& file) {
    // An image far smaller than the points is what this catches.
    const std::string outside = pointOutsideReason(points, size, kOutsideMargin);
    if (!outside.empty())
        throw PointFileError(device + " image " + std::to_string(n) + " (" + file +
                             "): " + outside + ": the " + device +
                             " width and height do not fit the points");
}

// The true-number, point and pattern files, read quietly before any work; every view
// checked as a calibration will use it.
void checkInputFiles(const LumenrigArgs& a) {
    const cv::Size camSize(a.camWidth, a.camHeight), projSize(a.projWidth, a.projHeight);
    const std::vector<int> camera = loadTrueNumbers(a.camTrueNum);
    std::vector<int> projector = loadTrueNumbers(a.projTrueNum);
    refuseDuplicates(camera, a.camTrueNum);
    refuseDuplicates(projector, a.projTrueNum);
    std::vector<PointList2> cameraPoints, projectorPoints;
    for (int n : camera) {
        const std::string name2d = expandPattern(a.cam2d, n);
        const PointList2 image = loadPointFile2(name2d);
        const PointList3 board = loadPointFile3(expandPattern(a.cam3d, n));
        const std::string reason = unusableViewReason(image, board);
        if (!reason.empty()) refuseView("camera", n, name2d, a.camTrueNum, reason);
        checkFits("camera", n, image, camSize, name2d);
        cameraPoints.push_back(image);
    }
    refuseTooFew(static_cast<int>(camera.size()), "camera views in " + a.camTrueNum);
    int pairs = 0;
    for (int n : projector) {
        if (pairedCameraView(camera, n) < 0) continue;
        ++pairs;
        const PointList2 onCam = loadPointFile2(expandPattern(a.projOnCam, n));
        const PointList2 pattern = loadPointFile2(expandPattern(a.projPattern, n));
        if (onCam.size() != pattern.size())
            throw PointFileError(
                "projector image " + std::to_string(n) + ": " + std::to_string(onCam.size()) +
                " points in " + expandPattern(a.projOnCam, n) + " but " +
                std::to_string(pattern.size()) + " in " + expandPattern(a.projPattern, n) +
                " (the two files must pair line by line)");
        const std::string reason = unusableViewReason(onCam, pattern);
        if (!reason.empty())
            refuseView("projector", n, expandPattern(a.projPattern, n), a.projTrueNum, reason);
        checkFits("camera", n, onCam, camSize, expandPattern(a.projOnCam, n));
        checkFits("projector", n, pattern, projSize, expandPattern(a.projPattern, n));
        projectorPoints.push_back(pattern);
    }
    if (pairs == 0)
        throw PointFileError("no projector image of " + a.projTrueNum + " has a camera view in " +
                             a.camTrueNum + ": nothing to calibrate");
    refuseTooFew(pairs, "projector views in " + a.projTrueNum + " with a camera view");
    for (const auto& [views, size, what] : {std::tuple{&cameraPoints, camSize, "camera"},
                                            std::tuple{&projectorPoints, projSize, "projector"}}) {
        const std::string larger = sizeFarLargerReason(*views, size);
        if (!larger.empty())
            throw PointFileError(std::string("the ") + what + " width and height: " + larger);
    }
}

// A fit that no lens can have is not reported as a calibration.
void refuseUnusableFit(const CalibData& d, const char* device) {
    const std::string reason = unusableFitReason(d.cameraMatrix);
    if (!reason.empty())
        throw PointFileError(std::string("lumenrig: the ") + device + " calibration failed: " +
                             reason + ": check the sizes and the point files");
}
// Every result at full precision, for programs that take the calibration further.
bool writeResults(const std::string& name, const CalibData& cam, const CalibData& proj,
                  LensModel projectorModel) {
    try {
        cv::FileStorage fs(name, cv::FileStorage::WRITE);
        if (!fs.isOpened()) return false;
        fs << "camera_matrix" << cam.cameraMatrix << "camera_rms" << cam.rms;
        fs << "projector_model" << lensModelName(projectorModel);
        fs << "projector_matrix" << proj.cameraMatrix << "projector_distortion" << proj.distortion
           << "projector_rms" << proj.rms;
        fs << "projector_image_numbers" << cv::Mat(proj.trueNum, true);
        fs << "projector_std_deviations" << proj.stdDeviations;
        // Per view: the projector's pose and its reprojection errors, point by point.
        cv::Mat rvecs(0, 3, CV_64F), tvecs(0, 3, CV_64F), counts, at(0, 2, CV_64F),
            residuals(0, 2, CV_64F);
        for (std::size_t v = 0; v < proj.rotations.size(); ++v) {
            rvecs.push_back(proj.rotations[v].reshape(1, 1));
            tvecs.push_back(proj.translations[v].reshape(1, 1));
            std::vector<cv::Point2f> projected;
            cv::projectPoints(proj.objectPoints[v], proj.rotations[v], proj.translations[v],
                              proj.cameraMatrix, proj.distortion, projected);
            counts.push_back(static_cast<int>(projected.size()));
            for (std::size_t i = 0; i < projected.size(); ++i) {
                const cv::Point2f& seen = proj.imagePoints[v][i];
                at.push_back(cv::Mat(cv::Matx12d(seen.x, seen.y)));
                residuals.push_back(
                    cv::Mat(cv::Matx12d(seen.x - projected[i].x, seen.y - projected[i].y)));
            }
        }
        fs << "projector_rvecs" << rvecs << "projector_tvecs" << tvecs;
        fs << "projector_points_per_view" << counts << "projector_points" << at
           << "projector_residuals" << residuals;
        fs << "R" << cam.stereoR << "T" << cam.stereoT << "E" << cam.stereoE << "F" << cam.stereoF
           << "stereo_rms" << cam.stereoRms;
        return true;
    } catch (const cv::Exception&) {
        return false;
    }
}

// The projector lens as its files hold it must give the fitted error.
bool projectorFilesReproduceFit(const LumenrigArgs& a, const CalibData& proj) {
    const cv::Mat k = readCameraMatrix(a.projMatrix);
    const cv::Mat d = readDistortion(a.projDistortion);
    const double reread = reprojectionRms(proj.objectPoints, proj.imagePoints, proj.rotations,
                                          proj.translations, k, d);
    if (reproducesFit(reread, proj.rms)) return true;
    std::cerr << "lumenrig: the written projector lens does not reproduce the fit: " << a.projMatrix
              << " and " << a.projDistortion << " give an RMS reprojection error of " << reread
              << " px, the calibration " << proj.rms
              << " px: their six significant digits cannot hold this lens.\n"
              << "  Calibrate the projector without lens distortion (mode 0), or take the "
                 "values at full precision (--results FILE). The files are kept; do not use them "
                 "as a calibration."
              << std::endl;
    return false;
}
}  // namespace

void printLumenrigUsage(std::ostream& out) {
    out << "Usage: lumenrig [--results FILE] cam_true_num cam_image_pattern cam_2d_pattern "
           "cam_3d_pattern "
           "cam_width "
           "cam_height\n"
           "                proj_true_num proj_image_pattern proj_2d_on_cam_pattern "
           "proj_pattern_pattern "
           "proj_width proj_height\n"
           "                stereo_R_file stereo_T_file F_file proj_matrix_file proj_dist_file "
           "proj_dist_mode\n"
           "  (18 arguments; proj_dist_mode 0: no projector lens distortion, 1: k1 k2 p1 p2 "
           "k3)\n"
           "  --results FILE: every result at full precision, OpenCV YAML\n"
           "  exit status 3: the projector files do not reproduce the fit\n";
}

bool parseLumenrigArgs(int argc, char** argv, LumenrigArgs* a) {
    if (argc > 2 && std::string(argv[1]) == "--results") {
        a->resultsName = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc != 19) {
        printLumenrigUsage(std::cerr);
        return false;
    }
    a->camTrueNum = argv[1];
    a->camImages = argv[2];
    a->cam2d = argv[3];
    a->cam3d = argv[4];
    // Sizes and the mode as whole numbers: "abc" or "1abc" is a mistake, not 0 or 1.
    bool whole = wholeInt(argv[5], &a->camWidth) && wholeInt(argv[6], &a->camHeight);
    a->projTrueNum = argv[7];
    a->projImages = argv[8];
    a->projOnCam = argv[9];
    a->projPattern = argv[10];
    whole = whole && wholeInt(argv[11], &a->projWidth) && wholeInt(argv[12], &a->projHeight);
    a->stereoR = argv[13];
    a->stereoT = argv[14];
    a->fundamental = argv[15];
    a->projMatrix = argv[16];
    a->projDistortion = argv[17];
    a->modeText = argv[18];
    int mode = 0;
    whole = whole && wholeInt(argv[18], &mode);
    if (!whole) {
        std::cerr << "lumenrig: the widths, heights and proj_dist_mode must be whole numbers\n";
        printLumenrigUsage(std::cerr);
        return false;
    }
    a->modeKnown = lensModelFromLumenrigMode(mode, &a->model);
    return true;
}

int runLumenrig(const LumenrigArgs& a) {
    std::cout << "truenum file name : " << a.camTrueNum << std::endl;
    std::cout << "cam0 image name : " << a.camImages << std::endl;
    std::cout << "cam0 2d point name : " << a.cam2d << std::endl;
    std::cout << "cam0 3d point name : " << a.cam3d << std::endl;
    std::cout << "cam0 reso  : " << a.camWidth << " : " << a.camHeight << std::endl;
    std::cout << "truenum file name : " << a.projTrueNum << std::endl;
    std::cout << "proj image name : " << a.projImages << std::endl;
    std::cout << "proj 2d on cam point name : " << a.projOnCam << std::endl;
    std::cout << "proj pattern point name : " << a.projPattern << std::endl;
    std::cout << "proj reso  : " << a.projWidth << " : " << a.projHeight << std::endl;
    std::cout << "stereo R name : " << a.stereoR << std::endl;
    std::cout << "stereo t name : " << a.stereoT << std::endl;
    std::cout << "F mat name : " << a.fundamental << std::endl;
    std::cout << "proj Mat name : " << a.projMatrix << std::endl;
    std::cout << "proj dist name : " << a.projDistortion << std::endl;
    std::cout << "proj undist flag : " << a.modeText << std::endl;
    if (!a.modeKnown) {
        std::cerr
            << "lumenrig: proj_dist_mode must be 0 (no lens distortion) or 1 (k1 k2 p1 p2 k3), not "
            << a.modeText << std::endl;
        return kLumenrigError;
    }
    if (a.camWidth < 1 || a.camHeight < 1 || a.projWidth < 1 || a.projHeight < 1 ||
        a.camWidth > kMaxImageSide || a.camHeight > kMaxImageSide || a.projWidth > kMaxImageSide ||
        a.projHeight > kMaxImageSide) {
        std::cerr << "lumenrig: the camera and projector widths and heights must lie from 1 to "
                  << kMaxImageSide << " pixels, not " << a.camWidth << " x " << a.camHeight
                  << " and " << a.projWidth << " x " << a.projHeight << std::endl;
        return kLumenrigError;
    }
    std::vector<std::string> unwritten;
    try {
        checkInputs(a);
        CalibData cam, proj;
        cam.trueNumName = a.camTrueNum;
        std::cout << "read_true_num_file_name = " << cam.trueNumName << std::endl;
        readTrueNum(cam.trueNumName, &cam.trueNum);
        cam.imagePattern = a.camImages;
        std::cout << "image_name = " << cam.imagePattern << std::endl;
        printImageNames(cam.imagePattern, cam.trueNum);
        cam.pattern2d = a.cam2d;
        std::cout << "read_2d_points_file_name = " << cam.pattern2d << std::endl;
        read2dPoints(cam.pattern2d, cam.trueNum, &cam.imagePoints);
        cam.pattern3d = a.cam3d;
        std::cout << "read_3d_points_file_name = " << cam.pattern3d << std::endl;
        read3dPoints(cam.pattern3d, cam.trueNum, &cam.objectPoints);
        for (std::size_t k = 0; k < cam.trueNum.size(); ++k)
            if (cam.imagePoints[k].size() != cam.objectPoints[k].size())
                throw PointFileError("camera view " + std::to_string(k) + " (image " +
                                     std::to_string(cam.trueNum[k]) +
                                     "): the 2D and 3D point files differ in length");
        cam.width = a.camWidth;
        cam.height = a.camHeight;
        calibrateDevice(&cam, LensModel::kNone);
        refuseUnusableFit(cam, "camera");
        cam.matrixName = kCameraMatrixCheckName;
        std::cout << "set_camMat_name = " << cam.matrixName << std::endl;
        writeMatrixFile(cam.cameraMatrix, cam.matrixName, &unwritten);

        proj.trueNumName = a.projTrueNum;
        std::cout << "read_true_num_file_name = " << proj.trueNumName << std::endl;
        readTrueNum(proj.trueNumName, &proj.trueNum);
        const std::vector<int> poseIndex = pairViews(cam.trueNum, &proj.trueNum);
        proj.imagePattern = a.projImages;
        std::cout << "image_name = " << proj.imagePattern << std::endl;
        printImageNames(proj.imagePattern, proj.trueNum);
        proj.projOnCamPattern = a.projOnCam;
        std::cout << "read_2d_projpoints_file_name = " << proj.projOnCamPattern << std::endl;
        read2dProjPoints(proj.projOnCamPattern, proj.trueNum, &proj.projOnCamPoints);
        proj.objectPoints =
            backProjectPoints_Cam2Obj(proj.projOnCamPoints, cam.rotations, cam.translations,
                                      poseIndex, cam.cameraMatrix, proj.trueNum);
        proj.pattern2d = a.projPattern;
        std::cout << "read_2d_points_file_name = " << proj.pattern2d << std::endl;
        read2dPoints(proj.pattern2d, proj.trueNum, &proj.imagePoints);
        proj.width = a.projWidth;
        proj.height = a.projHeight;
        calibrateDevice(&proj, a.model);
        refuseUnusableFit(proj, "projector");
        proj.distortionName = a.projDistortion;
        std::cout << "distfile_name = " << proj.distortionName << std::endl;
        writeValuesLine(proj.distortion, distortionFileValues(a.model), proj.distortionName,
                        &unwritten);
        proj.matrixName = a.projMatrix;
        std::cout << "set_camMat_name = " << proj.matrixName << std::endl;
        writeMatrixFile(proj.cameraMatrix, proj.matrixName, &unwritten);

        stereoCalibrateDevices(&cam, proj);
        cam.stereoRName = a.stereoR;
        std::cout << "output_stereo_R_name = " << cam.stereoRName << std::endl;
        cam.stereoTName = a.stereoT;
        std::cout << "output_stereo_R_name = " << cam.stereoTName << std::endl;
        cam.fundamentalName = a.fundamental;
        std::cout << "output_F_name = " << cam.fundamentalName << std::endl;
        writeMatrixFile(cam.stereoR, cam.stereoRName, &unwritten);
        writeMatrixFile(cam.stereoT, cam.stereoTName, &unwritten);
        std::cout << " output F mat =" << cam.fundamentalName << std::endl;
        writeMatrixFile(cam.stereoF, cam.fundamentalName, &unwritten);
        if (!a.resultsName.empty() && !writeResults(a.resultsName, cam, proj, a.model)) {
            std::cerr << "cannot write " << a.resultsName << std::endl;
            unwritten.push_back(a.resultsName);
        }
        if (unwritten.empty() && !projectorFilesReproduceFit(a, proj))
            return kLumenrigNotReproduced;
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kLumenrigError;
    }
    if (!unwritten.empty()) {
        std::cerr << "lumenrig: " << unwritten.size() << " file(s) could not be written"
                  << std::endl;
        return kLumenrigUnwritten;
    }
    return kLumenrigOk;
}
