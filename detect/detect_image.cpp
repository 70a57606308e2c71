#include "detect_image.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

#include "camera_param.h"
#include "detect_markers.h"
#include "pattern_marker_table.h"
#include "square_candidates.h"

void writeIdentityCameraParams(RunState* state, int width, int height) {
    const CameraParam p = identityCameraParams(width, height);
    // Replaced whole (written aside, then renamed): another tagharvest in the same folder
    // may be reading it.
    const std::string part = "camparam.dat." + std::to_string(getpid()) + ".part";
    if (saveCameraParams(part.c_str(), 1, &p) < 0 ||
        std::rename(part.c_str(), "camparam.dat") != 0) {
        std::remove(part.c_str());
        reportUnwritten(state, "camparam.dat");
    }
}

namespace {
// Share of the image in dark regions above the candidate size limit that look like a
// marker would: roughly square boxes, mostly filled, clear of the image border, each a
// small part of the photo (not a dark room, not the unlit board around a projection).
double oversizedShare(const LabelResult& labels) {
    if (labels.width <= 0 || labels.height <= 0) return 0;
    const double image = static_cast<double>(labels.width) * labels.height;
    double covered = 0;
    for (int r = 1; r <= labels.regionCount && r < static_cast<int>(labels.area.size()); ++r) {
        if (labels.area[r] <= kMaxCandidateArea) continue;
        const int* b = &labels.box[4 * r];
        const double w = b[1] - b[0] + 1.0, h = b[3] - b[2] + 1.0;
        const bool onBorder =
            b[0] <= 1 || b[2] <= 1 || b[1] >= labels.width - 2 || b[3] >= labels.height - 2;
        if (onBorder || std::max(w, h) > 2.0 * std::min(w, h) || labels.area[r] < 0.6 * w * h ||
            w * h > 0.1 * image)
            continue;
        covered += labels.area[r];
    }
    return covered / image;
}
}  // namespace

int detectImage(PhotoEngine* engine, const CameraParam& record, const cv::Mat& image,
                DetectionSlot* slot, int threshold, double arThresh, const std::string& what,
                std::ostream& err) {
    installCameraParams(&engine->context, record, image.cols, image.rows);
    toPackedBGRA(image, &engine->packed);
    MarkerInfo* markers = nullptr;
    int count = 0;
    const bool failed =
        detectMarkersIn(&engine->context, engine->packed.data(), threshold, &markers, &count) < 0;
    if (failed) {
        err << "marker detection failed on " << what << " at threshold " << threshold
            << " (too many dark regions); no markers taken from it" << std::endl;
        count = 0;
    }
    slot->entries.clear();
    slot->confidentCount = 0;
    // Labels of a failed detection are unusable.
    slot->oversizedShare = failed ? 0.0 : oversizedShare(engine->context.buffers.labels);
    for (int i = 0; i < count; ++i) {
        DetectionEntry e{markers[i].id, markers[i].cf, {}};
        for (int p = 0; p < 4; ++p)
            for (int k = 0; k < 2; ++k) e.vertex[p][k] = markers[i].vertex[p][k];
        slot->entries.push_back(e);
    }
    sortByConfidence(&slot->entries);
    for (const DetectionEntry& e : slot->entries)
        if (e.cf > arThresh) ++slot->confidentCount;
    return count;
}

int detectImage(RunState* state, const cv::Mat& image, DetectionSlot* slot, int threshold,
                double arThresh, const std::string& what) {
    // The run's engine is lent for the call (moved, not copied) and handed back.
    PhotoEngine lent{std::move(*state->engine), std::move(state->packed)};
    const int count =
        detectImage(&lent, state->cameraRecord, image, slot, threshold, arThresh, what, std::cerr);
    *state->engine = std::move(lent.context);
    state->packed = std::move(lent.packed);
    return count;
}

void sortByConfidence(std::vector<DetectionEntry>* entries) {
    std::vector<DetectionEntry>& e = *entries;
    for (std::size_t i = 0; i + 1 < e.size(); ++i) {
        std::size_t best = i;
        for (std::size_t j = i + 1; j < e.size(); ++j)
            if (e[j].cf > e[best].cf) best = j;
        std::swap(e[i], e[best]);
    }
}

void orderCorners(DetectionSlot* slot) {
    for (int k = 0; k < slot->confidentCount; ++k) {
        double(*v)[2] = slot->entries[k].vertex;
        auto swapVertices = [&](int a, int b) {
            std::swap(v[a][0], v[b][0]);
            std::swap(v[a][1], v[b][1]);
        };
        for (int p = 0; p < 3; ++p) {
            int largest = p;
            for (int q = p + 1; q < 4; ++q)
                if (v[q][0] > v[largest][0]) largest = q;
            swapVertices(p, largest);
        }
        swapVertices(1, 3);
        if (v[3][1] > v[0][1]) swapVertices(0, 3);
        if (v[2][1] > v[1][1]) swapVertices(1, 2);
    }
}
