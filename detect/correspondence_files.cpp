#include "correspondence_files.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <opencv2/imgproc.hpp>
#include <string>
#include <utility>
#include <vector>

#include "board_consistency.h"
#include "correspondence_folder.h"
#include "detection_reports.h"
#include "drops_file.h"

void writeCorrespondenceFiles(RunState* state, int n, const ImageResult& r) {
    const bool camera = state->cameraMode();
    const bool centres = state->config().center_flag != 0;
    const std::string& folder = state->config().points_output_file_name;
    const std::string name2d =
        pointFile(folder, camera ? PointFile::kCameraImage : PointFile::kProjectedImage, n);
    const std::string nameOther =
        pointFile(folder, camera ? PointFile::kCameraBoard : PointFile::kProjectedPattern, n);
    std::cout << "output points text --> " << n << std::endl;

    std::ofstream other(nameOther);
    std::ofstream points2d(name2d);
    std::vector<std::pair<cv::Point, cv::Point>> outlines;  // of the pattern's markers
    const int count = static_cast<int>(r.ids.size());
    for (int j = 0; j < count; ++j) {
        const int id = r.ids[j];
        // Without a place in the pattern image a marker has no pattern point: leave it
        // out of both projector-mode files, which must pair line by line.
        const bool hasPattern = state->patternFound(id);
        if (!camera && !hasPattern) continue;
        const int first = centres ? j : 4 * j;
        const int lines = centres ? 1 : 4;
        for (int q = first; q < first + lines; ++q)
            points2d << r.points2d[q].x << "\t" << r.points2d[q].y << "\n";
        if (!camera) {
            const double(*v)[2] = state->patternTable[id].vertex;
            if (state->config().subpixel) {
                // The same point as the camera's: the crossing of the marker's diagonals.
                cv::Point2d corners[4];
                for (int p = 0; p < 4; ++p) corners[p] = cv::Point2d(v[p][0], v[p][1]);
                const cv::Point2d c = diagonalCrossing(corners);
                other << static_cast<float>(c.x) << " " << static_cast<float>(c.y) << "\n";
            } else {
                float x = 0.0f, y = 0.0f;
                for (int p = 0; p < 4; ++p) {
                    x = static_cast<float>(x + v[p][0]);
                    y = static_cast<float>(y + v[p][1]);
                }
                other << x * 0.25f << " " << y * 0.25f << "\n";
            }
        } else {
            for (int q = first; q < first + lines; ++q)
                other << r.points3d[q].x << "\t" << r.points3d[q].y << "\t" << r.points3d[q].z
                      << "\t\n";
        }
        if (hasPattern) {
            const double(*v)[2] = state->patternTable[id].vertex;
            outlines.emplace_back(cv::Point(static_cast<int>(v[2][0]), static_cast<int>(v[2][1])),
                                  cv::Point(static_cast<int>(v[0][0]), static_cast<int>(v[0][1])));
        }
    }
    char detectName[64];
    std::snprintf(detectName, sizeof detectName,
                  camera ? "test/Cam_detect%03d.png" : "test/Proj_detect%03d.png", n);
    // Drawn on the writer thread, onto a copy: the pattern image is the run's. The same
    // outlines draw the same image, which is then encoded once.
    std::string sameAs = "detection image";
    for (const auto& [from, to] : outlines)
        for (const int v : {from.x, from.y, to.x, to.y}) sameAs += " " + std::to_string(v);
    saveImage(
        state, detectName, state->patternImage,
        [outlines](cv::Mat* image) {
            *image = image->clone();
            for (const auto& [from, to] : outlines)
                cv::rectangle(*image, from, to, cv::Scalar(0, 0, 200), 3, cv::LINE_4);
        },
        std::move(sameAs));
    closeReport(state, &other, nameOther);
    closeReport(state, &points2d, name2d);
}

void writeTrueNumberFile(RunState* state) {
    const std::string name =
        trueNumberFile(state->config().points_output_file_name, !state->cameraMode());
    std::ofstream out(name);
    for (int n : state->successList) out << n << "\n";
    closeReport(state, &out, name);
}

void writeDropsFile(RunState* state) {
    const std::string name = state->config().points_output_file_name + "/" + kDropsFileName;
    if (writeMarkerDrops(name, state->drops) != 0) reportUnwritten(state, name);
}
