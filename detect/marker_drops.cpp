#include "marker_drops.h"

#include <cstdio>
#include <iostream>
#include <opencv2/imgproc.hpp>

#include "board_consistency.h"

namespace {
// The id's corners on the board (camera mode) or in the pattern image (projector mode),
// in the photo's corner order; false when the id has no place there.
bool referenceCorners(const RunState& state, int id, cv::Point2d out[4]) {
    if (state.cameraMode()) {
        if (id < 0 || id >= static_cast<int>(state.board.size())) return false;
        const BoardEntry& b = state.board[id];
        for (int p = 0; p < 4; ++p) out[p] = cv::Point2d(b.corner[p][0], b.corner[p][1]);
    } else {
        if (!state.patternFound(id)) return false;
        for (int p = 0; p < 4; ++p)
            out[p] = cv::Point2d(state.patternTable[id].vertex[p][0],
                                 state.patternTable[id].vertex[p][1]);
    }
    std::vector<cv::Point2f> quad(out, out + 4);
    return cv::contourArea(quad) > 0;
}

std::vector<MarkerPlacement> placements(const RunState& state, const ImageResult& result,
                                        std::vector<std::size_t>* where) {
    std::vector<MarkerPlacement> placed;
    for (std::size_t j = 0; j < result.ids.size(); ++j) {
        MarkerPlacement m;
        m.id = result.ids[j];
        if (!referenceCorners(state, m.id, m.reference)) continue;
        for (int p = 0; p < 4; ++p) m.image[p] = result.points2d[4 * j + p];
        placed.push_back(m);
        if (where) where->push_back(j);
    }
    return placed;
}

std::string format(const char* fmt, int n, int id, double a, double b) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, n, id, a, b);
    return text;
}
}  // namespace

void dropInconsistentMarkers(const RunState& state, int n, cv::Size photo, ImageResult* result,
                             DropLog* log, CheckedLens* checkedLens) {
    if (checkedLens) checkedLens->valid = false;
    const double tolerance =
        state.config().subpixel ? kBoardToleranceSubpixelPx : kBoardToleranceDefaultPx;
    std::vector<std::size_t> where;  // index in result of each placed marker
    const std::vector<MarkerPlacement> placed = placements(state, *result, &where);
    if (placed.empty()) return;
    bool checked = false;
    RadialLens lens;
    const std::vector<DroppedMarker> dropped =
        findInconsistentMarkers(placed, tolerance, photo, &checked, &lens);
    if (checked && dropped.empty() && checkedLens)
        *checkedLens = CheckedLens{true, photo, result->ids, result->points2d, lens};
    if (!checked) {
        log->notes.push_back("image " + std::to_string(n) + ": " + std::to_string(placed.size()) +
                             " markers are too few to check them against the " +
                             (state.cameraMode() ? "board" : "pattern image") +
                             "; they are kept as detected");
        return;
    }
    std::vector<bool> remove(result->ids.size(), false);
    for (const DroppedMarker& d : dropped) {
        remove[where[d.index]] = true;
        log->markers.push_back(MarkerDrop{n, placed[d.index].id, "board", d.error});
        log->notes.push_back(format(
            state.cameraMode()
                ? "image %d: marker id %d dropped: its corners lie %.1f px from where the "
                  "markers around it place it on the board (tolerance %.1f px); a wrong id or "
                  "a marker pulled out of shape"
                : "image %d: marker id %d dropped: its corners lie %.1f px from where the "
                  "markers around it place it by the pattern image (tolerance %.1f px); a "
                  "wrong id or a marker pulled out of shape",
            n, placed[d.index].id, d.error, d.tolerance));
    }
    ImageResult kept;
    for (std::size_t j = 0; j < result->ids.size(); ++j)
        if (!remove[j]) appendMarker(*result, j, &kept);
    *result = kept;
}

bool fitMarkerLens(const RunState& state, const ImageResult& result, cv::Size photo,
                   RadialLens* lens, const CheckedLens* known) {
    if (known && known->valid && known->photo == photo && known->ids == result.ids &&
        known->points2d == result.points2d) {
        *lens = known->lens;
        return true;
    }
    return fitBoardLens(placements(state, result, nullptr), photo, lens) == 0;
}

void logDamagedMarker(int n, int id, DropLog* log) {
    log->markers.push_back(MarkerDrop{n, id, "edges", 0.0});
    log->notes.push_back("image " + std::to_string(n) + ": marker id " + std::to_string(id) +
                         " dropped: its edges are not straight along their whole length "
                         "(partly hidden or damaged), so its corners cannot be trusted");
}

void reportDrops(const std::vector<std::string>& notes, std::ostream& console,
                 std::ostream& report) {
    for (const std::string& note : notes) {
        console << note << std::endl;
        report << note << std::endl;
    }
}
