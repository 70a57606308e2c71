// The projector views predicted as lumenrig builds them: on a synthetic rig without lens
// distortion the back-projected markers lie on the board where the camera sees them.
#include "projector_views.h"

#include <gtest/gtest.h>

#include <opencv2/calib3d.hpp>

#include "calib_fixture.h"

TEST(RigflowProjectorViews, MarkersSeenByTheCameraLandOnTheBoard) {
    const SyntheticCamera camera = testCamera(cv::Mat::zeros(1, 5, CV_64F));
    const SyntheticViews poses = makeViews(camera, 6, 3);
    ViewSet cameraViews;
    cameraViews.image = projectViews(camera, poses, 0.0, 4);
    cameraViews.board.assign(cameraViews.image.size(), poses.board);
    cameraViews.imageNumbers = {1, 2, 4, 5, 7, 8};
    std::vector<std::vector<cv::Point2f>> onCamera, pattern;
    projectorViews(camera, testProjector(), poses, 0.0, 5, &onCamera, &pattern);
    // View 3 has no camera view: lumenrig leaves it out. The others come in reverse order.
    std::vector<ProjectedView> projected = {{3, onCamera[0], pattern[0]}};
    for (int i = 5; i >= 0; --i)
        projected.push_back({cameraViews.imageNumbers[i], onCamera[i], pattern[i]});

    const ViewSet views = projectorViews(cameraViews, camera.size, projected);
    ASSERT_EQ(views.imageNumbers, (std::vector<int>{8, 7, 5, 4, 2, 1}));
    for (std::size_t v = 0; v < views.board.size(); ++v) {
        SCOPED_TRACE("view " + std::to_string(views.imageNumbers[v]));
        const std::size_t pose = 5 - v;
        EXPECT_EQ(views.image[v], pattern[pose]);
        ASSERT_EQ(views.board[v].size(), onCamera[pose].size());
        std::vector<cv::Point2f> seen;
        cv::projectPoints(views.board[v], poses.rvecs[pose], poses.tvecs[pose], camera.k,
                          cv::noArray(), seen);
        for (std::size_t p = 0; p < seen.size(); ++p) {
            EXPECT_NEAR(views.board[v][p].z, 0.0, 1e-3);
            EXPECT_NEAR(cv::norm(seen[p] - onCamera[pose][p]), 0.0, 0.01) << "point " << p;
        }
    }
}
