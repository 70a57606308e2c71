// The projector's correspondences as lumenrig builds them, without running it: the camera
// fitted as a pinhole to its board corners, each projected marker the camera saw
// back-projected onto the board of that view's pose.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "model_choice.h"

// One projector view: the projected markers in camera pixels and where the pattern put them
// in projector pixels.
struct ProjectedView {
    int imageNumber = 0;
    std::vector<cv::Point2f> onCamera, pattern;
};

// Views whose number the camera does not have are left out; the result holds the board
// points and the projector pixels of the others, in the order given.
ViewSet projectorViews(const ViewSet& camera, cv::Size cameraSize,
                       const std::vector<ProjectedView>& projected);
