// One engine run on one image, and the ordering of its results.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "camera_param.h"
#include "engine_context.h"
#include "run_state.h"

// A worker's engine: the run's loaded patterns, with buffers of its own.
struct PhotoEngine {
    EngineContext context;
    std::vector<unsigned char> packed;  // the image as the engine reads it
};

// Writes "camparam.dat": one record for width x height with the identity distortion
// (coefficient 0, scale 1). A failure is reported and recorded.
void writeIdentityCameraParams(RunState* state, int width, int height);

// Runs engine on image (BGR, or grey: toPackedBGRA) at threshold, with the camera record rescaled
// to the image, and fills slot with every marker, most confident first, and the count of those
// above arThresh. Returns the number of markers. An engine failure (too many dark regions) is
// reported on err with what (image and threshold) and yields no markers.
int detectImage(PhotoEngine* engine, const CameraParam& record, const cv::Mat& image,
                DetectionSlot* slot, int threshold, double arThresh, const std::string& what,
                std::ostream& err);

// The same with the run's own engine and camera record, reporting on stderr.
int detectImage(RunState* state, const cv::Mat& image, DetectionSlot* slot, int threshold,
                double arThresh, const std::string& what);

// Selection sort by cf, descending; among equal values the earlier stays first.
void sortByConfidence(std::vector<DetectionEntry>* entries);

// Reorders the four vertices of each of the first count entries into the corner order
// of docs/conventions.md, for markers turned less than 45 degrees.
void orderCorners(DetectionSlot* slot);
