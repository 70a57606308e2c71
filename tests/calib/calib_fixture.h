// Synthetic correspondences with known truth, written in tagharvest's file formats.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct SyntheticCamera {
    cv::Matx33d k;
    cv::Mat distortion;  // any OpenCV length
    cv::Size size;
};

// Board poses of a calibration series (board to camera) and the board's marker corners.
struct SyntheticViews {
    std::vector<cv::Vec3d> rvecs, tvecs;
    std::vector<cv::Point3f> board;  // 63 markers x 4 corners, corner order of the detector
};

// A 640 x 480 camera with fx = 700 and the given distortion.
SyntheticCamera testCamera(const cv::Mat& distortion);

// views poses that keep the whole board inside the image; deterministic for a seed.
SyntheticViews makeViews(const SyntheticCamera& cam, int views, unsigned seed);

// Board corners of every view projected through the camera, plus Gaussian noise.
std::vector<std::vector<cv::Point2f>> projectViews(const SyntheticCamera& cam,
                                                   const SyntheticViews& v, double noisePx,
                                                   unsigned seed);

// A projector beside the camera: x_proj = r * x_cam + t.
struct SyntheticProjector {
    cv::Matx33d k;
    cv::Size size;
    cv::Matx33d r;
    cv::Vec3d t;
};
SyntheticProjector testProjector();

// For every view: a 9 x 7 grid of projector pixels, the board points they light and the
// camera pixels that show those points (with noise); pattern points carry no noise.
void projectorViews(const SyntheticCamera& cam, const SyntheticProjector& proj,
                    const SyntheticViews& v, double noisePx, unsigned seed,
                    std::vector<std::vector<cv::Point2f>>* onCamera,
                    std::vector<std::vector<cv::Point2f>>* pattern);

// Writes DIR/FOLDER/cam2D%03d.txt, cam3D%03d.txt and cam_true_num.txt (or the projector
// names with prefix "proj") for the image numbers, and a grey image DIR/img%03d.png of the
// camera's size for each, as tagharvest and the camera would have left them.
void writeCameraRun(const std::string& dir, const std::string& folder,
                    const std::vector<int>& numbers,
                    const std::vector<std::vector<cv::Point2f>>& image,
                    const std::vector<cv::Point3f>& board, const cv::Size& size);

// Writes DIR/proj/proj2D%03d.txt (camera pixels), pattern%03d.txt (projector pixels,
// one blank) and proj_true_num.txt for the image numbers, as tagharvest's projector mode
// leaves them; onCamera and pattern are indexed by image number.
void writeProjectorRun(const std::string& dir, const std::vector<int>& numbers,
                       const std::vector<std::vector<cv::Point2f>>& onCamera,
                       const std::vector<std::vector<cv::Point2f>>& pattern);

void writePointFile2(const std::string& path, const std::vector<cv::Point2f>& points,
                     const char* separator = "\t");
void writeTrueNumbers(const std::string& path, const std::vector<int>& numbers);

// Nine numbers of a matrix file, or the values of a distortion line.
std::vector<double> readValues(const std::string& path);

// The RMS reprojection error of the lens and poses as lensrig's files in folder hold them
// (Cam_mat.txt, dist.txt, cam_R%03d.txt, cam_t%03d.txt).
double rereadError(const std::string& folder, const std::vector<int>& numbers,
                   const std::vector<std::vector<cv::Point2f>>& image,
                   const std::vector<cv::Point3f>& board);
