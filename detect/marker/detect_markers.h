// Entry point of the square-marker engine for one image.
//
// Preconditions: camera parameters installed (setCameraParams) with the image's size;
// patterns loaded (loadPattern) for anything to be identified.
#pragma once

#include "marker_info.h"

// Detects and identifies the square markers of a packed image (installed width x height,
// 4 bytes per pixel: blue, green, red, ignored) at binarization threshold T (a pixel is
// dark when its three colour bytes sum to at most 3 T). On return *markers points to
// engine-owned records, valid until the next call, and *count is their number.
// Markers with cf below 0.5 have id -1. Returns 0, or -1 when labeling runs out of
// provisional labels (count 0).
int detectMarkers(const unsigned char* image, int threshold, MarkerInfo** markers, int* count);
