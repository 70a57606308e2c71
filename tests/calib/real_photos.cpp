#include "real_photos.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "correspondence_folder.h"
#include "test_support.h"

namespace {
constexpr const char* kPhotoFolder = "/usr/share/doc/opencv-doc/examples/data";
const cv::Size kInnerCorners(9, 6);
constexpr float kSquare = 25.0f;

RealPhotoSeries findSeries() {
    RealPhotoSeries s;
    s.folder = kPhotoFolder;
    for (int r = 0; r < kInnerCorners.height; ++r)
        for (int c = 0; c < kInnerCorners.width; ++c)
            s.board.emplace_back(c * kSquare, r * kSquare, 0);
    for (int n = 1; n <= 14; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "/left%02d.jpg", n);
        if (!std::filesystem::exists(s.folder + name)) continue;  // the series skips left10
        const cv::Mat grey = cv::imread(s.folder + name, cv::IMREAD_GRAYSCALE);
        if (grey.empty()) continue;
        s.size = grey.size();
        std::vector<cv::Point2f> corners;
        if (!cv::findChessboardCorners(grey, kInnerCorners, corners,
                                       cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE))
            continue;
        cv::cornerSubPix(
            grey, corners, cv::Size(11, 11), cv::Size(-1, -1),
            cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 30, 0.01));
        s.numbers.push_back(n);
        s.image.push_back(corners);
    }
    return s;
}

std::vector<cv::Point2f> cornersOf(const std::string& path, int window, cv::Size* size) {
    const cv::Mat grey = cv::imread(path, cv::IMREAD_GRAYSCALE);
    std::vector<cv::Point2f> corners;
    if (grey.empty()) return corners;
    *size = grey.size();
    if (!cv::findChessboardCorners(grey, kInnerCorners, corners,
                                   cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE))
        return {};
    cv::cornerSubPix(grey, corners, cv::Size(window, window), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 30, 0.01));
    return corners;
}

RealStereoPairs findPairs(int window) {
    RealStereoPairs s;
    for (int r = 0; r < kInnerCorners.height; ++r)
        for (int c = 0; c < kInnerCorners.width; ++c)
            s.board.emplace_back(c * kSquare, r * kSquare, 0);
    for (int n = 1; n <= 14; ++n) {
        char left[64], right[64];
        std::snprintf(left, sizeof left, "/left%02d.jpg", n);
        std::snprintf(right, sizeof right, "/right%02d.jpg", n);
        const auto l = cornersOf(std::string(kPhotoFolder) + left, window, &s.size);
        const auto r = cornersOf(std::string(kPhotoFolder) + right, window, &s.size);
        if (l.empty() || r.empty()) continue;
        s.numbers.push_back(n);
        s.left.push_back(l);
        s.right.push_back(r);
    }
    return s;
}
}  // namespace

const RealStereoPairs& stereoChessboardPairs(int window) {
    // window -> pairs, found once per test program
    static std::map<int, RealStereoPairs> found;
    auto it = found.find(window);
    if (it == found.end()) it = found.emplace(window, findPairs(window)).first;
    EXPECT_GE(it->second.numbers.size(), 10u)
        << "the stereo chessboard photos of opencv-doc are missing in " << kPhotoFolder;
    return it->second;
}

RealStereoPairs sampledPairs(const RealStereoPairs& all) {
    if (!reducedSample() || all.numbers.size() <= kReducedPairs) return all;
    RealStereoPairs some = all;
    some.numbers.resize(kReducedPairs);
    some.left.resize(kReducedPairs);
    some.right.resize(kReducedPairs);
    return some;
}

const RealPhotoSeries& leftChessboardSeries() {
    static const RealPhotoSeries series = findSeries();
    EXPECT_GE(series.numbers.size(), 10u)
        << "the chessboard photos of opencv-doc are missing in " << kPhotoFolder
        << " (scripts/setup.sh installs the package)";
    return series;
}

void writeRealSeries(const std::string& dir, const std::string& folder, const RealPhotoSeries& s,
                     bool withPhotos) {
    std::filesystem::create_directories(dir + "/" + folder);
    const std::string points = dir + "/" + folder;
    std::ofstream trueNum(trueNumberFile(points, false));
    for (std::size_t v = 0; v < s.numbers.size(); ++v) {
        const int n = s.numbers[v];
        std::ofstream out2(pointFile(points, PointFile::kCameraImage, n));
        for (const cv::Point2f& p : s.image[v]) out2 << p.x << "\t" << p.y << "\n";
        std::ofstream out3(pointFile(points, PointFile::kCameraBoard, n));
        for (const cv::Point3f& p : s.board) out3 << p.x << "\t" << p.y << "\t" << p.z << "\t\n";
        trueNum << n << "\n";
        if (withPhotos) {
            char photo[64], copy[64];
            std::snprintf(photo, sizeof photo, "/left%02d.jpg", n);
            std::snprintf(copy, sizeof copy, "/img%03d.jpg", n);
            std::filesystem::copy_file(s.folder + photo, dir + copy,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
}

ReferenceCalibration referenceCalibration(const RealPhotoSeries& s, int iterations) {
    // The corners as the point files hold them (six significant digits).
    std::vector<std::vector<cv::Point2f>> image;
    for (const auto& view : s.image) {
        std::vector<cv::Point2f> rounded;
        for (const cv::Point2f& p : view)
            rounded.emplace_back(std::stof(cv::format("%g", p.x)),
                                 std::stof(cv::format("%g", p.y)));
        image.push_back(rounded);
    }
    std::vector<std::vector<cv::Point3f>> board(s.numbers.size(), s.board);
    ReferenceCalibration r;
    std::vector<cv::Mat> rvecs, tvecs;
    r.rms = cv::calibrateCamera(
        board, image, s.size, r.k, r.distortion, rvecs, tvecs, 0,
        cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, iterations, DBL_EPSILON));
    return r;
}
