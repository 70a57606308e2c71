// The centre of a marker from its four corners: where the board's centre of the square
// lands in the photo, which the mean of the corners misses under perspective.
#pragma once

#include <opencv2/core.hpp>

#include "radial_lens_fit.h"

// Where the diagonals of a quadrilateral (corners in cyclic order) cross: the image of
// the centre under any homography. The mean of the corners when they do not cross.
cv::Point2d diagonalCrossing(const cv::Point2d c[4]);

// The same for a quadrilateral seen through a lens: the crossing of the straight diagonals
// of its undistorted corners, distorted back (the image of the centre, which the crossing of
// the bent quad's own diagonals misses by the lens's curvature).
cv::Point2d diagonalCrossing(const RadialLens& lens, const cv::Point2d c[4]);
