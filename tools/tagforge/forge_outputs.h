// The generator's files: pattern sets, the printable board, the projected pattern image
// and the identity camera parameter file.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "board_layout.h"
#include "board_page.h"
#include "marker_picture.h"

// Worst correlation allowed between different pictures and orientations.
constexpr double kMaxPatternScore = 0.5;

// Designs count pictures for a seed and writes them as DIR/pat.00, DIR/pat.01, ...
// ("pat." and the index with at least two digits). *worst receives the worst score.
bool writePatternSet(const std::string& dir, int count, unsigned seed,
                     std::vector<MarkerPicture>* pictures, double* worst, std::string* error);

// The projected pattern image: white, markers as projectionLayout places them.
cv::Mat renderProjectionImage(const std::vector<MarkerPicture>& pictures, int width, int height,
                              const MarkerLayout& layout, double offsetX, double offsetY);

// The printable board at dpi dots per inch: the sheet with the markers laid out in
// millimetres, the axes at the origin, the scale bar and the print note below the markers.
cv::Mat renderBoardImage(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layoutMm,
                         const BoardPage& page, double dpi);
// The same on a sheet sized to the board.
cv::Mat renderBoardImage(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layoutMm,
                         double dpi);

// "camparam.dat" with the identity distortion for a width x height image.
bool writeIdentityCameraParamFile(const std::string& path, int width, int height);

// Writes an image, creating nothing; false when OpenCV cannot write it.
bool writeImage(const std::string& path, const cv::Mat& image);
