// Readers of the camera matrix and distortion files that lensrig writes.
#pragma once

#include <opencv2/core.hpp>
#include <string>

// Nine numbers on one line (row-major 3 x 3, CV_64F). Prints "file cannot be read." and
// throws PointFileError for an unreadable file; throws PointFileError naming the file when
// the nine values are not all given or a word is not a number.
cv::Mat readCameraMatrix(const std::string& name);

// k1 k2 p1 p2 [k3 [k4 k5 k6 [s1 s2 s3 s4 [tx ty]]]] on one line: 4, 5, 8, 12 or 14 values
// (1 x n, CV_64F); other counts throw PointFileError naming the file.
cv::Mat readDistortion(const std::string& name);

// The three numbers of a rotation or translation file (lensrig's cam_R%03d.txt,
// cam_t%03d.txt: one value a line), as a 3 x 1 CV_64F vector.
cv::Mat readVector3(const std::string& name);
