// report.html: the whole calibration on one self-contained page (inline SVG charts,
// embedded thumbnails), written beside the results.
#pragma once

#include <string>
#include <vector>

#include "joint_refine.h"
#include "photo_series.h"
#include "rigflow_report.h"
#include "sanity_checks.h"

struct ReportPage {
    const Results* results = nullptr;
    std::vector<Finding> findings;
    std::vector<DroppedView> dropped;  // before and by the detector, with the reasons
    int viewsTried = 0;
    // Marked photos, relative to the report's folder, by view: camera, then projector.
    std::vector<std::pair<int, std::string>> cameraMarked, projectorMarked;
    std::string reportFolder;                // where report.html goes (to embed the thumbnails)
    const JointRefinement* joint = nullptr;  // the joint solve, when it ran
};

// Grid of the coverage check: cells of the image that no corner reached.
constexpr int kCoverageColumns = 8, kCoverageRows = 6;

bool writeHtmlReport(const std::string& path, const ReportPage& page);
