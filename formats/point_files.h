// Readers of the files tagharvest writes: the true-number file and the per-image point
// files, with the traces the calibration tools print while they read.
//
// Every reader prints "file cannot be read." and throws PointFileError for a file that
// cannot be opened; a line that does not hold the numbers its file needs (blank lines at
// the end excepted) throws PointFileError naming the file and the line.
#pragma once

#include <array>
#include <fstream>
#include <opencv2/core.hpp>
#include <stdexcept>
#include <string>
#include <vector>

struct PointFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using PointList2 = std::vector<cv::Point2f>;
using PointList3 = std::vector<cv::Point3f>;

// Opens a file to read; a directory or a file that cannot be opened prints "file cannot be
// read." (unless quiet) and throws PointFileError naming it.
std::ifstream openInputFile(const std::string& name, bool quiet);

// The true-number list: integers separated by any white space (one a line as tagharvest
// writes them); a token that is not an integer is named with its line (list emptied first).
void readTrueNum(const std::string& name, std::vector<int>* trueNum);

// One list of (x, y) per true number, the pattern expanded with each (collection emptied).
void read2dPoints(const std::string& pattern, const std::vector<int>& trueNum,
                  std::vector<PointList2>* points);

// One list of (X, Y, Z) per true number (collection emptied).
void read3dPoints(const std::string& pattern, const std::vector<int>& trueNum,
                  std::vector<PointList3>* points);

// One list of (x, y) per true number, appended (the collection is not emptied).
void read2dProjPoints(const std::string& pattern, const std::vector<int>& trueNum,
                      std::vector<PointList2>* points);

// What lensrig loads in one step.
constexpr int kMaxImageNumber = 511;
struct Correspondences {
    std::vector<int> trueNum;
    std::vector<PointList2> imagePoints;
    std::vector<PointList3> objectPoints;
    std::array<int, kMaxImageNumber + 1> pointCount{};  // 2D points read, by image number
};

// The true-number list (as readTrueNum), then per view the 2D and 3D lists
// together. Throws std::out_of_range("invalid array<T, N> subscript") for an image
// number outside 0..511, PointFileError for unreadable or malformed files and for a view
// whose 2D and 3D lists differ in length.
void loadCorrespondences(const std::string& trueName, const std::string& pattern2d,
                         const std::string& pattern3d, Correspondences* out);

// The same readers without a trace, for checking inputs before any work.
std::vector<int> loadTrueNumbers(const std::string& name);
PointList2 loadPointFile2(const std::string& name);
PointList3 loadPointFile3(const std::string& name);

// Checks a file-name pattern: at most one integer conversion and no other conversion.
// Throws PointFileError naming what (the argument) otherwise.
void checkNamePattern(const std::string& pattern, const std::string& what);
