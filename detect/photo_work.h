// One photo's work: what detectPhoto finds on it and what the run then writes for it. The
// work of several photos runs at the same time; the run takes it in image order.
#pragma once

#include <opencv2/core.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "drops_file.h"
#include "marker_drops.h"
#include "photo_console.h"
#include "run_state.h"

// One photo's part of the run-wide reports (DetectionReports).
struct PhotoReports {
    std::ostringstream info2d, counts, thresholds;
};

// What the adaptive pass leaves for the photo's files (ran: the reports are written).
struct AdaptiveOutput {
    bool ran = false;
    std::string diff;    // diff_detectnum
    std::string report;  // adaptive_AR_2Dinfo
    cv::Mat rectified;   // the view of the last iteration, empty when none was made
};

// The marked image as a writer thread draws it (drawMarkedImage) before encoding it.
struct MarkedImage {
    cv::Mat base;        // the work image, nothing drawn on it yet
    ImageResult drawn;   // the kept markers, their corners in full-size pixels
    double scale = 1.0;  // base / photo
};

struct PhotoWork {
    int n = 0;            // image number
    cv::Mat photo;        // full size; empty when unusable, released once refined
    cv::Mat image;        // the work image: the photo, or its copy reduced by scale
    cv::Mat grey;         // with --subpixel: image in grey, for the refinements
    cv::Size workSize;    // of image (the series size when the photo is unusable)
    cv::Size photoSize;   // the series size
    double scale = 1.0;   // work image / photo
    ImageResult result;   // the accepted markers; after the point lists, the points
    int count = 0;        // accepted markers, as detect_camAR lists them
    bool usable = false;  // more than Minimum_number markers: the photo's files are written
    MarkedImage marked;   // set when usable
    CheckedLens lens;     // the last board check's lens; the point lists reuse it
    std::vector<MarkerDrop> drops;  // in the order dropped
    PhotoConsole console;           // what the work says
    PhotoConsole afterReports;      // what it says once the adaptive reports are written
    PhotoReports reports;
    AdaptiveOutput adaptive;
};
