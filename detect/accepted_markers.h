// Step 2 of a photo's work: the sweep's best sighting of every id as accepted corners.
#pragma once

#include <ostream>
#include <vector>

#include "marker_drops.h"
#include "threshold_sweep.h"

// Truncated to whole pixels by default, or refined on grey (the work image in grey) with
// --subpixel, where a marker with broken edges is dropped and logged.
ImageResult acceptedMarkers(const RunState& run, int n, const std::vector<SweepEntry>& sweep,
                            const cv::Mat& grey, DropLog* log);

// The image's block of camera_AR_2Dinfo: id, confidence and corners of every kept marker.
void writeAcceptedBlock(const RunState& run, const ImageResult& result, std::ostream& out);
