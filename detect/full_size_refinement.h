// Step 5 of a photo's work: corners found on a reduced copy of a large photo, refined
// again on the full photo.
#pragma once

#include "marker_drops.h"
#include "run_state.h"

// The photo as the search sees it: itself, or reduced by scale (pixel areas averaged).
cv::Mat workImage(const cv::Mat& photo, double scale);

// Corners of the reduced copy in full-size pixels (pixel centres at integers in both).
ImageResult atFullSize(ImageResult result, double scale);

// Refines the corners of *result (reduced by scale) on photo and replaces them, dropping
// and logging the markers whose edges are broken there; a photo that could not be read
// leaves no markers. Markers refined on the copy are about 0.1 px (of the copy) off, well
// inside the full photo's edge windows.
void refineAtFullSize(int n, const cv::Mat& photo, double scale, ImageResult* result, DropLog* log);
