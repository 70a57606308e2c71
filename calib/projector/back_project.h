// Projected marker positions seen by the camera, back-projected onto the board.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "point_files.h"

// For every view k, intersects the camera ray through each point of projOnCam[k] with the
// board plane of the camera pose (rotations[poseIndex[k]], translations[poseIndex[k]],
// board to camera) and gives the intersection in board coordinates. The camera is a
// pinhole (fx, fy, cx, cy of cameraMatrix). Returns the object points, one list per view.
// Throws PointFileError for a point whose ray does not meet the board (not finite).
std::vector<PointList3> backProjectPoints_Cam2Obj(const std::vector<PointList2>& projOnCam,
                                                  const std::vector<cv::Mat>& rotations,
                                                  const std::vector<cv::Mat>& translations,
                                                  const std::vector<int>& poseIndex,
                                                  const cv::Mat& cameraMatrix,
                                                  const std::vector<int>& imageNumbers);
