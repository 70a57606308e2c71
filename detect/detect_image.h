// One engine run on one image, and the ordering of its results.
#pragma once

#include <string>

#include "camera_param.h"
#include "run_state.h"

// Writes "camparam.dat": one record for width x height with the identity distortion
// (coefficient 0, scale 1). A failure is reported and recorded.
void writeIdentityCameraParams(RunState* state, int width, int height);

// Runs the run's engine on image at threshold, with the run's camera record rescaled to the
// image, and fills slot with every marker, most confident first, and the count of those
// above arThresh. Returns the number of markers.
// An engine failure (too many dark regions) is reported with what (image and threshold)
// and yields no markers.
int detectImage(RunState* state, const cv::Mat& image, DetectionSlot* slot, int threshold,
                double arThresh, const std::string& what);

// Selection sort by cf, descending; among equal values the earlier stays first.
void sortByConfidence(std::vector<DetectionEntry>* entries);

// Reorders the four vertices of each of the first count entries into the corner order
// of docs/conventions.md, for markers turned less than 45 degrees.
void orderCorners(DetectionSlot* slot);
