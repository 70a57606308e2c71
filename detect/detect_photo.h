// The work on one photo of the series, from decoding it to its point lists. It reads the
// run's state and writes nothing but w: photos are worked on at the same time, and the
// run writes their files afterwards, in image order.
#pragma once

#include "detect_image.h"
#include "photo_work.h"

// Works on photo n of the series, decoded (loadSeriesImage; empty when it cannot be or
// is not readable), with engine (the worker's) into *w (fresh), up to the point lists.
void detectPhoto(const RunState& run, PhotoEngine* engine, int n, cv::Mat decoded, PhotoWork* w);

// Turns the accepted markers of a usable photo (detectPhoto's) into its point lists.
void finishPhoto(const RunState& run, PhotoWork* w);
