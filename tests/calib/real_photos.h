// Real photos with a real lens: the chessboard series that Debian's opencv-doc package ships
// (left01.jpg ... left14.jpg, 640 x 480, 9 x 6 inner corners), turned into the point files
// tagharvest writes, with the corners OpenCV's chessboard finder gives.
#pragma once

#include <cstddef>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct RealPhotoSeries {
    std::string folder;        // where the photos are
    cv::Size size;             // photo size
    std::vector<int> numbers;  // photos whose board was found (01 ... 14)
    std::vector<std::vector<cv::Point2f>> image;
    std::vector<cv::Point3f> board;  // inner corners, 25 board units apart, z = 0
};

// The series, found once per test program; fails the calling test (empty series) when the
// photos are not installed (scripts/setup.sh installs opencv-doc).
const RealPhotoSeries& leftChessboardSeries();

// DIR/FOLDER/cam2D%03d.txt, cam3D%03d.txt and cam_true_num.txt for the series, and
// DIR/img%03d.jpg copies of the photos when withPhotos.
void writeRealSeries(const std::string& dir, const std::string& folder,
                     const RealPhotoSeries& series, bool withPhotos);

// OpenCV's own calibration of the same corners with the standard model (k1 k2 p1 p2 k3).
struct ReferenceCalibration {
    cv::Mat k, distortion;
    double rms = 0;
};
ReferenceCalibration referenceCalibration(const RealPhotoSeries& series, int iterations);

// The stereo pairs of the same package (leftNN.jpg with rightNN.jpg) where both photos show
// the whole board, corners refined by cornerSubPix with a window x window search window.
struct RealStereoPairs {
    cv::Size size;
    std::vector<int> numbers;
    std::vector<std::vector<cv::Point2f>> left, right;
    std::vector<cv::Point3f> board;  // as RealPhotoSeries::board
};
const RealStereoPairs& stereoChessboardPairs(int window);

// The pairs a joint-solve test runs on: all of them, or the first kReducedPairs under
// reducedSample() (the sanitizer pass: the same steps on less data; the normal pass solves all).
constexpr std::size_t kReducedPairs = 10;
RealStereoPairs sampledPairs(const RealStereoPairs& all);
