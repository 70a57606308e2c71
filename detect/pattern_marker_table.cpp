#include "pattern_marker_table.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "camera_param.h"
#include "detect_markers.h"
#include "marker_board.h"
#include "pattern_file.h"
#include "pattern_library.h"

namespace {
constexpr int kWhitePatchSide = 100;
constexpr double kPatternConfidence = 0.7;

}  // namespace

CameraParam readCameraParamFile() {
    CameraParam param;
    if (loadCameraParams("camparam.dat", 1, &param) < 0) {
        std::cout << "cam_param error\n" << std::flush;
        throw TagharvestExit{kExitCamParamError};
    }
    if (param.width <= 0 || param.height <= 0) {
        // Rescaling divides by the recorded size.
        std::cout << "cam_param error\n" << std::flush;
        std::cerr << "tagharvest: camparam.dat records an image size of " << param.width << " x "
                  << param.height << "; write it again (tagforge camparam --size WxH)" << std::endl;
        throw TagharvestExit{kExitCamParamError};
    }
    return param;
}

void installCameraParams(EngineContext* engine, const CameraParam& record, int width, int height) {
    engine->camera = scaleCameraParams(record, width, height);
}

void buildPatternMarkerTable(RunState* state) {
    const int n = state->config().number_of_pattern;
    const int threshold = state->args.driver.thresh_first;
    cv::Mat work = state->patternImage.clone();
    const cv::Mat whitePatch(kWhitePatchSide, kWhitePatchSide, CV_8UC3, cv::Scalar(255, 255, 255));
    std::vector<unsigned char> buffer;

    // Written under a name of this run's own and renamed when complete: rigflow runs the
    // camera and projector detections at the same time in one folder.
    const std::string infoName = "AR_pattern_info.txt";
    const std::string partName = infoName + "." + std::to_string(getpid()) + ".part";
    std::ofstream info(partName);
    installCameraParams(state->engine.get(), readCameraParamFile(), work.cols, work.rows);
    state->patternTable.assign(n, PatternMarker{});
    for (int i = 0; i < n; ++i)
        if (loadPatternInto(&state->engine->patterns, patternFileName("data", i).c_str()) != i) {
            // A missing slot would shift every later id onto another pattern.
            std::cerr << "tagharvest: cannot load the pattern file " << patternFileName("data", i)
                      << " (missing, a directory, or not 3072 numbers): the ids of every later "
                         "pattern would shift. Write the pattern files again (tagforge patterns "
                         "--out data, with the board's --seed)."
                      << std::endl;
            throw TagharvestExit{kExitPatternFile};
        }

    int recorded = 0;
    while (recorded < n) {
        toPackedBGRA(work, &buffer);
        MarkerInfo* markers = nullptr;
        int count = 0;
        if (detectMarkersIn(state->engine.get(), buffer.data(), threshold, &markers, &count) < 0) {
            std::cerr << "marker detection failed on the pattern image "
                      << state->args.driver.Projection_img << " (too many dark regions)"
                      << std::endl;
            throw TagharvestExit{kExitEngineFailure};
        }
        int newThisPass = 0;
        for (int i = 0; i < count; ++i) {
            const MarkerInfo& m = markers[i];
            if (!(m.cf > kPatternConfidence) || m.id < 0 || m.id >= n) continue;
            PatternMarker& entry = state->patternTable[m.id];
            if (entry.id != kPatternNotFound) continue;
            entry.id = m.id;
            entry.cf = m.cf;
            for (int p = 0; p < 4; ++p)
                for (int k = 0; k < 2; ++k) entry.vertex[p][k] = m.vertex[p][k];
            info << "id = " << m.id << std::endl;
            // Cover the marker so that the next pass finds the others; the patch is
            // clipped to the image.
            const cv::Rect patch(static_cast<int>(m.vertex[2][0]), static_cast<int>(m.vertex[2][1]),
                                 kWhitePatchSide, kWhitePatchSide);
            const cv::Rect inside = patch & cv::Rect(0, 0, work.cols, work.rows);
            if (inside.area() > 0)
                whitePatch(
                    cv::Rect(inside.x - patch.x, inside.y - patch.y, inside.width, inside.height))
                    .copyTo(work(inside));
            ++recorded;
            ++newThisPass;
        }
        if (newThisPass == 0) break;
    }
    if (recorded < n) {
        std::cerr << "pattern ids not found in the pattern image "
                  << state->args.driver.Projection_img << ":";
        for (int id = 0; id < n; ++id)
            if (state->patternTable[id].id == kPatternNotFound) std::cerr << " " << id;
        std::cerr << std::endl;
    }
    // Projector mode pairs every marker with its place in the pattern image: without one
    // identified pattern marker every point file would be empty. An image too small to show
    // a marker ends the run; one of full size is named (with pattern files of another set
    // rigflow's checks say which), and the run goes on as before.
    const cv::Mat& pattern = state->patternImage;
    if (recorded == 0 && state->config().calib_mode == 1) {
        std::cerr << "tagharvest: no marker of the pattern could be identified in the pattern "
                     "image "
                  << state->args.driver.Projection_img << " (" << pattern.cols << " x "
                  << pattern.rows
                  << "): give the image the projector showed, made with the same pattern files"
                  << std::endl;
        if (std::min(pattern.cols, pattern.rows) < kMinPatternSide) {
            info.close();
            std::remove(partName.c_str());
            throw TagharvestExit{kExitPatternImage};
        }
    }
    info.close();
    if (!info || std::rename(partName.c_str(), infoName.c_str()) != 0) {
        std::remove(partName.c_str());
        reportUnwritten(state, infoName);
    }
}

void buildBoardModel(RunState* state) {
    const DetectorConfig& c = state->config();
    const int n = c.number_of_pattern;
    const int size = std::max(n, kBoardMarkers);
    state->board.assign(size, BoardEntry{});
    const double s = c.MARK_SIZE, sx = c.MARK_SPACE_X, sy = c.MARK_SPACE_Y;
    // With rotation the ids run backwards from n - 1: the board turned by 180 degrees.
    // Ids beyond the table (fewer patterns than board markers) have no entry.
    int t = c.boad_rotation == 0 ? 0 : n - 1;
    for (int r = 0; r < c.MARK_NUM_X; ++r) {
        for (int col = 0; col < c.MARK_NUM_Y; ++col) {
            const double x1 = r * sx + (r + 1) * s, y1 = col * sy + (col + 1) * s;
            const double x0 = x1 - s, y0 = y1 - s;
            if (t >= 0 && t < size) {
                BoardEntry& e = state->board[t];
                const double corners[4][3] = {{x1, y1, 0}, {x0, y1, 0}, {x0, y0, 0}, {x1, y0, 0}};
                for (int p = 0; p < 4; ++p)
                    for (int k = 0; k < 3; ++k) e.corner[p][k] = corners[p][k];
                e.centre[0] =
                    (e.corner[1][0] + e.corner[0][0] + e.corner[2][0] + e.corner[3][0]) * 0.25;
                e.centre[1] =
                    (e.corner[1][1] + e.corner[0][1] + e.corner[2][1] + e.corner[3][1]) * 0.25;
                e.centre[2] = 0;
            }
            t += c.boad_rotation == 0 ? 1 : -1;
        }
    }
}
