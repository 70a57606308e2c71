#include "detect_markers.h"

#include <cstring>
#include <vector>

#include "camera_param.h"
#include "engine_context.h"
#include "fit_marker_edges.h"
#include "identify_marker.h"
#include "label_image.h"
#include "pattern_library.h"
#include "square_candidates.h"

namespace {
constexpr double kMinimumConfidence = 0.5;

// Empties the memo unless it was made on this very image (content and size) and library.
void keepMemoFor(IdentificationMemo* memo, const unsigned char* image, int width, int height,
                 const PatternLibrary& library) {
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    if (memo->width == width && memo->height == height && memo->libraryChanges == library.changes &&
        memo->image.size() == bytes && std::memcmp(memo->image.data(), image, bytes) == 0)
        return;
    memo->image.assign(image, image + bytes);
    memo->width = width;
    memo->height = height;
    memo->libraryChanges = library.changes;
    memo->entries.clear();
}

// Sampling and matching of the candidate with these corners, or the memo's earlier ones.
void identify(const unsigned char* image, int width, int height, const int corner[4][2],
              const PatternLibrary& library, IdentificationMemo* memo, PatternMatch* match) {
    for (const IdentifiedCorners& e : memo->entries)
        if (std::memcmp(e.corner, corner, sizeof e.corner) == 0) {
            *match = e.match;
            return;
        }
    std::uint8_t sample[kPatternValues];
    *match = PatternMatch{-1, -1, 0.0};
    // A candidate that cannot be sampled stays unidentified rather than being
    // matched on an undefined picture.
    if (extractPattern(image, width, height, corner, sample) == 0)
        matchPattern(sample, library, match);
    IdentifiedCorners e{};
    std::memcpy(e.corner, corner, sizeof e.corner);
    e.match = *match;
    memo->entries.push_back(e);
}
}  // namespace

EngineContext& defaultEngine() {
    static EngineContext* engine = new EngineContext;  // lives as long as the program
    return *engine;
}

int detectMarkers(const unsigned char* image, int threshold, MarkerInfo** markers, int* count) {
    return detectMarkersIn(&defaultEngine(), image, threshold, markers, count);
}

int detectMarkersIn(EngineContext* context, const unsigned char* image, int threshold,
                    MarkerInfo** markers, int* count) {
    EngineBuffers& engine = context->buffers;
    *count = 0;
    *markers = engine.markers;
    const CameraParam& param = context->camera;

    // 1. Binarize and label the dark regions.
    if (labelImage(image, param.width, param.height, threshold, &engine.labels) < 0) return -1;

    // 2. Square outlines with four corners.
    const int candidateCount = findSquareCandidates(engine.labels, &engine.candidates);

    if (candidateCount > 0)
        keepMemoFor(&engine.identified, image, param.width, param.height, context->patterns);

    // 3. Edge lines and corners, then identification of each candidate.
    int kept = 0;
    for (int i = 0; i < candidateCount; ++i) {
        const MarkerCandidate& c = engine.candidates[i];
        MarkerInfo& info = engine.markers[kept];
        info.area = c.area;
        info.centre[0] = c.centroid[0];
        info.centre[1] = c.centroid[1];
        if (fitMarkerEdges(c.x.data(), c.y.data(), c.pointCount, c.vertexIndex, param.distortion,
                           info.edgeLine, info.vertex) < 0)
            continue;
        int corner[4][2];
        for (int k = 0; k < 4; ++k) {
            corner[k][0] = c.x[c.vertexIndex[k]];
            corner[k][1] = c.y[c.vertexIndex[k]];
        }
        PatternMatch match;
        identify(image, param.width, param.height, corner, context->patterns, &engine.identified,
                 &match);
        info.id = match.id;
        info.direction = match.direction;
        info.cf = match.cf;
        ++kept;
    }

    // 4. Too weak a match is no identification.
    for (int i = 0; i < kept; ++i)
        if (engine.markers[i].cf < kMinimumConfidence) engine.markers[i].id = -1;
    *count = kept;
    return 0;
}
