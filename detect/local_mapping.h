// A mapping of reference points to the photo that holds near one place: a homography of the
// nearby points with an affine correction, in the photo's coordinates, of what it leaves.
// What a radial lens fit leaves (tangential distortion, an uneven board) is smooth over a few
// markers; higher orders would extrapolate noise at the board's edges.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

struct LocalMapping {
    cv::Mat homography;  // reference to photo, 3 x 3
    cv::Mat correction;  // 3 x 2: photo offset per term 1, u, v
    cv::Point2d origin;  // the correction's terms are about this photo point ...
    double scale = 1;    // ... in units of the farthest mapped point's distance
};

// Fits the mapping of ref to image around the photo point origin. Returns 0, or -1 when the
// pairs give no homography (see fitLinearHomography) or no correction.
int fitLocalMapping(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                    cv::Point2d origin, LocalMapping* mapping);

// Where the mapping puts reference point ref in the photo.
cv::Point2d mapLocally(const LocalMapping& mapping, cv::Point2d ref);
