#include "detect_markers.h"

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
        std::uint8_t sample[kPatternValues];
        PatternMatch match{-1, -1, 0.0};
        // A candidate that cannot be sampled stays unidentified rather than being
        // matched on an undefined picture.
        if (extractPattern(image, param.width, param.height, corner, sample) == 0)
            matchPattern(sample, context->patterns, &match);
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
