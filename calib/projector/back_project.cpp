#include "back_project.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include "board_plane.h"

std::vector<PointList3> backProjectPoints_Cam2Obj(const std::vector<PointList2>& projOnCam,
                                                  const std::vector<cv::Mat>& rotations,
                                                  const std::vector<cv::Mat>& translations,
                                                  const std::vector<int>& poseIndex,
                                                  const cv::Mat& cameraMatrix,
                                                  const std::vector<int>& imageNumbers) {
    std::vector<PointList3> objectPoints;
    std::cout << "backProjectPoints_Cam2Obj" << std::endl;
    for (std::size_t k = 0; k < projOnCam.size(); ++k) {
        const PointList3 points = boardPointsSeen(
            projOnCam[k], cameraMatrix, rotations[poseIndex[k]], translations[poseIndex[k]]);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const cv::Point3f& p = points[i];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                std::ostringstream msg;
                msg << "view " << k << " (image " << imageNumbers[k] << ") point " << i << " ("
                    << projOnCam[k][i].x << ", " << projOnCam[k][i].y
                    << "): its camera ray does not meet the board";
                throw PointFileError(msg.str());
            }
        }
        objectPoints.push_back(points);
    }
    return objectPoints;
}
