#include "scene_truth.h"

#include <algorithm>
#include <opencv2/calib3d.hpp>
#include <vector>

#include "board_layout.h"

namespace {
// Share of a marker's size around it that a hand must miss for the marker to count as seen:
// its edges and corners may be hidden by less than a touch of the quad itself.
constexpr double kHiddenRim = 0.25;

void writeIdList(cv::FileStorage& fs, const std::string& key, const std::vector<int>& ids) {
    fs << key << "[";
    for (int id : ids) fs << id;
    fs << "]";
}

void writeMatrix(cv::FileStorage& fs, const std::string& key, const cv::Mat& m) {
    fs << key << m;
}

// Per marker id: the id and its four true corners in the photo.
cv::Mat cornerTable(const std::vector<cv::Point2d>& imageCorners) {
    cv::Mat table(kBoardMarkers, 9, CV_64F);
    for (int id = 0; id < kBoardMarkers; ++id) {
        table.at<double>(id, 0) = id;
        for (int p = 0; p < 4; ++p) {
            table.at<double>(id, 1 + 2 * p) = imageCorners[4 * id + p].x;
            table.at<double>(id, 2 + 2 * p) = imageCorners[4 * id + p].y;
        }
    }
    return table;
}

// Per projected marker id: the id, its centre in the photo and in the projector image.
cv::Mat projectedTable(const SceneRig& rig, const SceneLayouts& l, const BoardPose& v) {
    const std::vector<cv::Point2d> centresProj = projectedCentres(l);
    std::vector<cv::Point3d> centreOnBoard(kBoardMarkers);
    for (int id = 0; id < kBoardMarkers; ++id)
        projectorPixelToBoard(rig.projector, v, centresProj[id].x, centresProj[id].y,
                              &centreOnBoard[id]);
    const std::vector<cv::Point2d> centresCam = projectToCamera(rig.camera, v, centreOnBoard);
    cv::Mat projected(kBoardMarkers, 5, CV_64F);
    for (int id = 0; id < kBoardMarkers; ++id) {
        projected.at<double>(id, 0) = id;
        projected.at<double>(id, 1) = centresCam[id].x;
        projected.at<double>(id, 2) = centresCam[id].y;
        projected.at<double>(id, 3) = centresProj[id].x;
        projected.at<double>(id, 4) = centresProj[id].y;
    }
    return projected;
}

// Markers that a hand covers, rim included, printed and projected, in id order.
void hiddenIds(const SceneRig& rig, const SceneLayouts& l, const ViewContents& view,
               const std::vector<cv::Point2d>& imageCorners, std::vector<int>* hidden,
               std::vector<int>* hiddenProjected) {
    std::vector<cv::Point3d> projectedOnBoard;
    const bool projectedKnown =
        projectedCornersOnBoard(rig.projector, view.pose, l, &projectedOnBoard);
    const std::vector<cv::Point2d> projectedInImage =
        projectedKnown ? projectToCamera(rig.camera, view.pose, projectedOnBoard)
                       : std::vector<cv::Point2d>();
    for (int col = 0, q = 0; col < kMarkColumns; ++col)
        for (int row = 0; row < kMarkRows; ++row, ++q) {
            const int id = markerIdAt(l.board, col, row);
            const cv::Point2d quad[4] = {imageCorners[4 * id], imageCorners[4 * id + 1],
                                         imageCorners[4 * id + 2], imageCorners[4 * id + 3]};
            if (quadTouched(view.hands, quad, kHiddenRim)) hidden->push_back(id);
            if (!projectedKnown) continue;
            const cv::Point2d pq[4] = {projectedInImage[4 * q], projectedInImage[4 * q + 1],
                                       projectedInImage[4 * q + 2], projectedInImage[4 * q + 3]};
            if (quadTouched(view.hands, pq, kHiddenRim))
                hiddenProjected->push_back(markerIdAt(l.projection, col, row));
        }
    std::sort(hidden->begin(), hidden->end());
    std::sort(hiddenProjected->begin(), hiddenProjected->end());
}

// Per stray printout: its id, its centre and its side in the photo.
cv::Mat strayTable(const std::vector<StrayMarker>& strays) {
    cv::Mat table(static_cast<int>(strays.size()), 4, CV_64F);
    for (int k = 0; k < table.rows; ++k) {
        table.at<double>(k, 0) = strays[k].id;
        table.at<double>(k, 1) = strays[k].centre.x;
        table.at<double>(k, 2) = strays[k].centre.y;
        table.at<double>(k, 3) = strays[k].side;
    }
    return table;
}
}  // namespace

int beginTruth(const std::string& path, const SceneOptions& o, const SceneRig& rig,
               const SceneAssets& assets, cv::FileStorage* truthFile, std::string* error) {
    cv::FileStorage& truth = *truthFile;
    truth.open(path, cv::FileStorage::WRITE);
    if (!truth.isOpened()) {
        *error = "cannot write " + path;
        return -1;
    }
    truth << "image_width" << o.cameraWidth << "image_height" << o.cameraHeight;
    writeMatrix(truth, "camera_matrix", cv::Mat(rig.camera.k));
    writeMatrix(truth, "distortion_coefficients", rig.camera.dist);
    truth << "projector_width" << o.projectorWidth << "projector_height" << o.projectorHeight;
    writeMatrix(truth, "projector_matrix", cv::Mat(rig.projector.k));
    writeMatrix(truth, "R", cv::Mat(rig.projector.rCamToProj));
    writeMatrix(truth, "T", cv::Mat(rig.projector.tCamToProj));
    truth << "MARK_SIZE" << o.markSize << "MARK_SPACE_X" << o.spaceX << "MARK_SPACE_Y" << o.spaceY;
    truth << "boad_rotation" << 0 << "number_of_pattern" << kScenePatterns;
    truth << "pattern_worst_score" << assets.worstPatternScore;
    truth << "projection_mark_size" << assets.layouts.projection.markSize;
    truth << "views" << o.views;
    truth << "view"
          << "[";
    return 0;
}

void writeViewTruth(const SceneRig& rig, const SceneLayouts& l, const ViewContents& view,
                    cv::FileStorage* truthFile) {
    cv::FileStorage& truth = *truthFile;
    const BoardPose& v = view.pose;
    cv::Mat rvec;
    cv::Rodrigues(cv::Mat(v.r), rvec);
    const std::vector<cv::Point2d> imageCorners =
        projectToCamera(rig.camera, v, boardCorners(l.board));
    std::vector<int> hidden, hiddenProjected;
    hiddenIds(rig, l, view, imageCorners, &hidden, &hiddenProjected);
    truth << "{"
          << "rvec" << rvec << "tvec" << cv::Mat(v.t) << "R" << cv::Mat(v.r);
    truth << "corners" << cornerTable(imageCorners) << "projected" << projectedTable(rig, l, v);
    writeIdList(truth, "hidden", hidden);
    writeIdList(truth, "hidden_projected", hiddenProjected);
    if (!view.strays.empty()) truth << "strays" << strayTable(view.strays);
    truth << "}";
}

void endTruth(cv::FileStorage* truth) {
    *truth << "]";
    truth->release();
}
