#include "projector_views.h"

#include <map>
#include <opencv2/calib3d.hpp>

#include "board_plane.h"
#include "device_fit.h"
#include "lens_model_kind.h"

ViewSet projectorViews(const ViewSet& camera, cv::Size cameraSize,
                       const std::vector<ProjectedView>& projected) {
    cv::Mat cameraMatrix, distortion = cv::Mat::zeros(1, 5, CV_64F);
    std::vector<cv::Mat> rvecs, tvecs;
    cv::calibrateCamera(camera.board, camera.image, cameraSize, cameraMatrix, distortion, rvecs,
                        tvecs, kNoDistortionFlags, deviceFitCriteria());
    std::map<int, std::size_t> viewOf;
    for (std::size_t i = 0; i < camera.imageNumbers.size(); ++i) viewOf[camera.imageNumbers[i]] = i;
    ViewSet views;
    for (const ProjectedView& p : projected) {
        const auto it = viewOf.find(p.imageNumber);
        if (it == viewOf.end()) continue;
        views.imageNumbers.push_back(p.imageNumber);
        views.board.push_back(
            boardPointsSeen(p.onCamera, cameraMatrix, rvecs[it->second], tvecs[it->second]));
        views.image.push_back(p.pattern);
    }
    return views;
}
