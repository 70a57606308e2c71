#include "point_lists.h"

#include "board_consistency.h"
#include "marker_drops.h"
#include "subpixel_corners.h"

void buildPointLists(const RunState& run, cv::Size photo, ImageResult* result,
                     const CheckedLens* known) {
    ImageResult& r = *result;
    const bool centres = run.config().center_flag != 0;
    RadialLens lens;
    const bool unbent = run.config().subpixel && fitMarkerLens(run, r, photo, &lens, known);
    if (unbent)
        for (std::size_t j = 0; j < r.ids.size(); ++j) {
            cv::Point2d corners[4];
            for (int p = 0; p < 4; ++p) corners[p] = r.points2d[4 * j + p];
            unbendCorners(lens, corners);
            for (int p = 0; p < 4; ++p) r.points2d[4 * j + p] = cv::Point2f(corners[p]);
        }
    r.points3d.clear();
    if (!centres) {
        for (int id : r.ids)
            for (const auto& c : run.board[id].corner)
                r.points3d.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                        static_cast<float>(c[2]));
        return;
    }
    std::vector<cv::Point2f> reduced;
    for (std::size_t j = 0; j < r.ids.size(); ++j) {
        if (run.config().subpixel) {
            // Refined corners are worth the exact centre: the corners' mean is biased by the
            // perspective (up to tenths of a pixel on a tilted board).
            cv::Point2d corners[4];
            for (int p = 0; p < 4; ++p) corners[p] = r.points2d[4 * j + p];
            reduced.emplace_back(unbent ? diagonalCrossing(lens, corners)
                                        : diagonalCrossing(corners));
        } else {
            float x = 0.0f, y = 0.0f;
            for (int p = 0; p < 4; ++p) {
                x += r.points2d[4 * j + p].x;
                y += r.points2d[4 * j + p].y;
            }
            reduced.emplace_back(x * 0.25f, y * 0.25f);
        }
        const double* c = run.board[r.ids[j]].centre;
        r.points3d.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                static_cast<float>(c[2]));
    }
    r.points2d = reduced;
}
