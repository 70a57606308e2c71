// Everything the engine works with: the camera parameters, the pattern library and its
// work storage. The driver owns one; the classic operations (setCameraParams,
// loadPattern, detectMarkers) work on the default one.
#pragma once

#include <vector>

#include "camera_param_file.h"
#include "identify_marker.h"
#include "label_image.h"
#include "marker_info.h"
#include "pattern_library.h"
#include "square_candidates.h"

// Identifications made on one image with one pattern library, by outline corners: the
// sweep meets most markers at several thresholds with the same corners, and sampling and
// matching are a function of the image, the corners and the library alone.
struct IdentifiedCorners {
    int corner[4][2];
    PatternMatch match;  // as without the memo (also for a picture that cannot be sampled)
};

struct IdentificationMemo {
    std::vector<unsigned char> image;  // copy of the image the entries were made on
    int width = 0, height = 0;
    int libraryChanges = -1;
    std::vector<IdentifiedCorners> entries;
};

struct EngineBuffers {
    LabelResult labels;
    IdentificationMemo identified;
    std::vector<MarkerCandidate> candidates;
    MarkerInfo markers[kMaxCandidates];
};

struct EngineContext {
    CameraParam camera{};     // image size and distortion of every detection
    PatternLibrary patterns;  // the loaded pattern files
    EngineBuffers buffers;    // reused by every detection
};

// The context of the classic operations (made on first use).
EngineContext& defaultEngine();

// loadPattern into a given library.
int loadPatternInto(PatternLibrary* library, const char* path);

// detectMarkers with a given context: its camera parameters, patterns and buffers;
// *markers points into the context's buffers.
int detectMarkersIn(EngineContext* engine, const unsigned char* image, int threshold,
                    MarkerInfo** markers, int* count);
