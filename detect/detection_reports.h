// Text reports under info/ and the marked images.
#pragma once

#include <fstream>
#include <string>

#include "run_state.h"

// The three reports of the detection pass, open for the whole pass.
struct DetectionReports {
    std::ofstream info2d;      // camera_AR_2Dinfo: accepted corners per image
    std::ofstream counts;      // detect_camAR: final detect count per image
    std::ofstream thresholds;  // camera_02AR_ID21: sweep thresholds (and image 2's vertices)
    std::string info2dName, countsName, thresholdsName;
};

void openDetectionReports(const RunState& state, DetectionReports* reports);

// Closes the reports; one that could not be written is reported and recorded.
void closeDetectionReports(RunState* state, DetectionReports* reports);

// Closes a report stream and records it when writing failed.
void closeReport(RunState* state, std::ofstream* out, const std::string& name);

// Draws the accepted corners of result (circles coloured by corner index), ids and
// confidences onto target. scale < 1: the corners are full-size and target is the photo
// reduced by scale.
void drawMarkedImage(const ImageResult& result, double scale, cv::Mat* target);
