#include "square_candidates.h"

int findSquareCandidates(const LabelResult& labels, std::vector<MarkerCandidate>* candidates) {
    if (static_cast<int>(candidates->size()) < kMaxCandidates) candidates->resize(kMaxCandidates);
    std::vector<MarkerCandidate>& list = *candidates;
    const int width = labels.width, height = labels.height;
    int count = 0;
    for (int r = 1; r <= labels.regionCount && count < kMaxCandidates; ++r) {
        const int area = labels.area[r];
        if (area < kMinCandidateArea || area > kMaxCandidateArea) continue;
        const int* box = &labels.box[4 * r];
        // Regions on the frame just inside the border may be cut by the image edge.
        if (box[0] == 1 || box[1] == width - 2 || box[2] == 1 || box[3] == height - 2) continue;
        MarkerCandidate& c = list[count];
        if (traceContour(labels, r, box, &c) < 0) continue;
        if (findSquareVertices(&c, area, 1.0) < 0) continue;
        c.area = area;
        c.centroid[0] = labels.centroid[2 * r];
        c.centroid[1] = labels.centroid[2 * r + 1];
        ++count;
    }

    // A marker's border and its picture (or a second outline of the same square) give
    // candidates with nearly the same centre: keep the larger one.
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const double dx = list[i].centroid[0] - list[j].centroid[0];
            const double dy = list[i].centroid[1] - list[j].centroid[1];
            const double d2 = dx * dx + dy * dy;
            if (list[i].area > list[j].area) {
                if (list[i].area / 4 > d2) list[j].area = 0;
            } else {
                if (list[j].area / 4 > d2) list[i].area = 0;
            }
        }
    }
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (list[i].area == 0) continue;
        if (kept != i) std::swap(list[kept], list[i]);
        ++kept;
    }
    return kept;
}
