#include "back_project.h"

#include <cmath>
#include <iostream>
#include <opencv2/calib3d.hpp>
#include <sstream>

std::vector<PointList3> backProjectPoints_Cam2Obj(const std::vector<PointList2>& projOnCam,
                                                  const std::vector<cv::Mat>& rotations,
                                                  const std::vector<cv::Mat>& translations,
                                                  const std::vector<int>& poseIndex,
                                                  const cv::Mat& cameraMatrix,
                                                  const std::vector<int>& imageNumbers) {
    std::vector<PointList3> objectPoints;
    std::cout << "backProjectPoints_Cam2Obj" << std::endl;
    cv::Mat r(3, 3, CV_64F), rt(3, 3, CV_64F), m(3, 1, CV_64F), x(3, 1, CV_64F);
    const double fx = cameraMatrix.at<double>(0, 0), cx = cameraMatrix.at<double>(0, 2);
    const double fy = cameraMatrix.at<double>(1, 1), cy = cameraMatrix.at<double>(1, 2);
    for (std::size_t k = 0; k < projOnCam.size(); ++k) {
        cv::Rodrigues(rotations[poseIndex[k]], r);
        cv::transpose(r, rt);
        const double n[3] = {rt.at<double>(2, 0), rt.at<double>(2, 1), rt.at<double>(2, 2)};
        const cv::Mat& tm = translations[poseIndex[k]];
        const double t[3] = {tm.at<double>(0), tm.at<double>(1), tm.at<double>(2)};
        PointList3 points;
        for (std::size_t i = 0; i < projOnCam[k].size(); ++i) {
            const double u = projOnCam[k][i].x, v = projOnCam[k][i].y;
            const double xn = (u - cx) / fx, yn = (v - cy) / fy;
            const double s =
                (n[0] * t[0] + n[1] * t[1] + n[2] * t[2]) / (n[0] * xn + n[1] * yn + n[2]);
            m.at<double>(0) = s * xn - t[0];
            m.at<double>(1) = s * yn - t[1];
            m.at<double>(2) = s - t[2];
            x = rt * m;
            const cv::Point3f p(static_cast<float>(x.at<double>(0)),
                                static_cast<float>(x.at<double>(1)),
                                static_cast<float>(x.at<double>(2)));
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                std::ostringstream msg;
                msg << "view " << k << " (image " << imageNumbers[k] << ") point " << i << " (" << u
                    << ", " << v << "): its camera ray does not meet the board";
                throw PointFileError(msg.str());
            }
            points.push_back(p);
        }
        objectPoints.push_back(points);
    }
    return objectPoints;
}
