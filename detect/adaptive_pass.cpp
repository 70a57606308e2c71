#include "adaptive_pass.h"

#include <cstdio>
#include <fstream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "detect_image.h"
#include "detection_reports.h"
#include "marker_drops.h"
#include "subpixel_corners.h"
#include "view_warp.h"

namespace {
constexpr int kIterations = 6;
constexpr int kRectifiedThreshold = 128;
constexpr int kRegionGrowth = 3;  // pixels added on every side of a predicted marker

enum IdState { kNotAccepted = 0, kAccepted = 1, kAdded = 2, kOutside = 3, kDropped = 4 };

struct IdEntry {
    int state = kNotAccepted;
    double confidence = 0.0;
    cv::Point2d corner[4];
    bool refinementFailed = false;  // --subpixel: the mapped-back corners were kept
};

// The pattern shrunk to 80 % and shifted by 80 pixels, so that the rectified view keeps
// some room around the pattern.
cv::Point2f scaledPatternPoint(double x, double y) {
    return cv::Point2f(static_cast<float>((x * 4.0) / 5.0 + 80.0),
                       static_cast<float>((y * 4.0) / 5.0 + 80.0));
}

cv::Mat toFloat(const cv::Mat& h) {
    cv::Mat f;
    h.convertTo(f, CV_32F);
    return f;
}

std::vector<cv::Point2f> patternCorners(const PatternMarker& m) {
    std::vector<cv::Point2f> v;
    for (const auto& p : m.vertex)
        v.emplace_back(static_cast<float>(p[0]), static_cast<float>(p[1]));
    return v;
}

std::string reportName(const RunState& state, const char* what, int n) {
    char name[64];
    std::snprintf(name, sizeof name, "/%s%03d.txt", what, n);
    return state.infoFolder() + name;
}

// Binarizes every predicted marker region of the rectified view with its own Otsu threshold,
// runs the engine on it and adds the newly identified markers of the ids not accepted yet,
// mapped back into the photo (and refined with --subpixel); says which on the console.
void addFromRectifiedView(const RunState& run, PhotoEngine* engine, PhotoWork* w,
                          const cv::Mat& rectified, const cv::Mat& patternToRectified,
                          const cv::Mat& rectifiedToImage, const cv::Mat& photoGrey,
                          std::vector<IdEntry>* ids, DropLog* log) {
    const DetectorConfig& c = run.config();
    const int n = w->n;
    std::ostream& out = w->console.out();
    cv::Mat grey;
    cv::cvtColor(rectified, grey, cv::COLOR_BGR2GRAY);
    const cv::Rect whole(0, 0, grey.cols, grey.rows);
    for (int id = 0; id < c.number_of_pattern; ++id) {
        if ((*ids)[id].state == kOutside || !run.patternFound(id)) continue;
        std::vector<cv::Point2f> inRectified;
        cv::perspectiveTransform(patternCorners(run.patternTable[id]), inRectified,
                                 patternToRectified);
        const cv::Rect box = cv::boundingRect(inRectified);
        const cv::Rect grown(box.x - kRegionGrowth, box.y - kRegionGrowth,
                             box.width + 2 * kRegionGrowth, box.height + 2 * kRegionGrowth);
        const cv::Rect region = grown & whole;
        if (region.area() == 0) continue;
        cv::Mat roi = grey(region);
        cv::threshold(roi, roi, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    }

    DetectionSlot slot;
    detectImage(engine, run.cameraRecord, grey, &slot, kRectifiedThreshold,
                run.args.driver.AR_thresh, "the rectified view of image " + std::to_string(n),
                w->console.err());
    out << "Additionally detected ID list\n";
    for (int j = 0; j < slot.confidentCount; ++j) {
        const DetectionEntry& d = slot.entries[j];
        if (d.id < 0 || d.id >= c.number_of_pattern || !run.patternFound(d.id)) continue;
        IdEntry& e = (*ids)[d.id];
        if (e.state != kNotAccepted) continue;
        out << "id = " << d.id << "\n";
        e.state = kAdded;
        e.confidence = d.cf;
        std::vector<cv::Point2f> vertex, back;
        for (const auto& v : d.vertex)
            vertex.emplace_back(static_cast<float>(v[0]), static_cast<float>(v[1]));
        cv::perspectiveTransform(vertex, back, rectifiedToImage);
        for (int p = 0; p < 4; ++p) e.corner[p] = back[p];
        if (c.subpixel) {
            cv::Point2d refined[4];
            const Refinement outcome = refineMarkerCornersChecked(photoGrey, e.corner, refined);
            if (outcome == Refinement::kDamaged) {
                e.state = kDropped;  // and never added again
                logDamagedMarker(n, d.id, log);
                continue;
            }
            e.refinementFailed = outcome == Refinement::kTooSmall;
            if (!e.refinementFailed)
                for (int p = 0; p < 4; ++p) e.corner[p] = refined[p];
        }
    }
}

// One iteration; returns false when the pass should stop.
bool runIteration(const RunState& run, PhotoEngine* engine, PhotoWork* w, int r,
                  const cv::Mat& photoGrey, std::vector<IdEntry>* ids, std::ostream& report,
                  DropLog* log) {
    const DetectorConfig& c = run.config();
    const int n = w->n;
    const cv::Size cameraSize = w->workSize;
    ImageResult& result = w->result;
    std::ostream& out = w->console.out();
    out << (r == 0 ? "start adaptive --> " + std::to_string(n)
                   : "roop_count --> " + std::to_string(r))
        << std::endl;
    const std::size_t m = result.ids.size();

    // Homographies from the accepted markers that have a place in the pattern image.
    std::vector<cv::Point2f> imagePts, patternPts, scaledPts;
    for (std::size_t j = 0; j < m; ++j) {
        if (!run.patternFound(result.ids[j])) continue;
        const PatternMarker& pm = run.patternTable[result.ids[j]];
        for (int p = 0; p < 4; ++p) {
            imagePts.push_back(result.points2d[4 * j + p]);
            patternPts.emplace_back(static_cast<float>(pm.vertex[p][0]),
                                    static_cast<float>(pm.vertex[p][1]));
            scaledPts.push_back(scaledPatternPoint(pm.vertex[p][0], pm.vertex[p][1]));
        }
    }
    if (imagePts.size() < 4) return false;
    const cv::Mat imageToPattern = toFloat(cv::findHomography(imagePts, scaledPts, 0, 3.0));
    const cv::Mat patternToImage = toFloat(cv::findHomography(patternPts, imagePts, 0, 3.0));
    if (imageToPattern.empty() || patternToImage.empty()) return false;
    cv::Mat rectifiedToImage;
    cv::invert(imageToPattern, rectifiedToImage, cv::DECOMP_LU);
    std::vector<cv::Point2f> allMapped;
    cv::perspectiveTransform(imagePts, allMapped, imageToPattern);
    const cv::Mat patternToRectified = toFloat(cv::findHomography(patternPts, allMapped, 0, 3.0));
    if (patternToRectified.empty()) return false;

    cv::Mat rectified;
    warpLinear(w->image, imageToPattern, cameraSize, &rectified);
    w->adaptive.rectified = rectified;  // each iteration's view replaces the one before

    for (std::size_t j = 0; j < m; ++j) {
        IdEntry& e = (*ids)[result.ids[j]];
        e.state = kAccepted;
        e.confidence = result.confidences[j];
        for (int p = 0; p < 4; ++p) e.corner[p] = result.points2d[4 * j + p];
    }

    // Ids predicted outside the photo leave; the others' regions are binarized below.
    bool anyToFind = false;
    for (int id = 0; id < c.number_of_pattern; ++id) {
        IdEntry& e = (*ids)[id];
        if (e.state == kOutside || !run.patternFound(id)) continue;
        std::vector<cv::Point2f> predicted;
        cv::perspectiveTransform(patternCorners(run.patternTable[id]), predicted, patternToImage);
        for (const cv::Point2f& p : predicted)
            if (p.x < 0 || p.y < 0 || p.x > cameraSize.width || p.y > cameraSize.height)
                e.state = kOutside;
        anyToFind = anyToFind || e.state == kNotAccepted;
    }
    // Only ids not accepted yet can be added: with none left, the view needs no search.
    if (anyToFind)
        addFromRectifiedView(run, engine, w, rectified, patternToRectified, rectifiedToImage,
                             photoGrey, ids, log);
    else
        out << "Additionally detected ID list\n";
    int& count = w->count;
    count = 0;
    report << "image_num = " << n << std::endl;
    ImageResult updated;
    for (int id = 0; id < c.number_of_pattern; ++id) {
        const IdEntry& e = (*ids)[id];
        if (e.state != kAccepted && e.state != kAdded) continue;
        updated.ids.push_back(id);
        updated.confidences.push_back(static_cast<float>(e.confidence));
        updated.reportedConfidences.push_back(e.confidence);
        report << "\nid = " << id << " cf = " << e.confidence << std::endl;
        for (int p = 0; p < 4; ++p) {
            updated.points2d.emplace_back(static_cast<float>(e.corner[p].x),
                                          static_cast<float>(e.corner[p].y));
            report << "vertec" << p << " " << e.corner[p].x << "  " << e.corner[p].y << std::endl;
        }
        if (e.state == kAdded && e.refinementFailed)
            report << "subpixel refinement failed: mapped corners kept" << std::endl;
        ++count;
    }
    result = updated;
    if (static_cast<std::size_t>(count) == m) {
        out << "No additional markers are detected.\n";
        return false;
    }
    return true;
}
}  // namespace

void runAdaptivePass(const RunState& run, PhotoEngine* engine, PhotoWork* w, DropLog* log) {
    // The homographies need at least one accepted marker.
    if (w->result.ids.empty()) return;
    std::vector<IdEntry> ids(run.config().number_of_pattern);
    std::ostringstream diff, report;
    diff << "Before adaptive:" << w->count << "\n";
    for (int r = 0; r < kIterations; ++r)
        if (!runIteration(run, engine, w, r, w->grey, &ids, report, log)) break;
    diff << "After adaptive: " << w->count << std::endl;
    w->adaptive.ran = true;
    w->adaptive.diff = diff.str();
    w->adaptive.report = report.str();
}

void writeAdaptiveReports(RunState* run, const PhotoWork& w) {
    if (!w.adaptive.ran) return;
    if (!w.adaptive.rectified.empty()) {
        char homoName[64];
        std::snprintf(homoName, sizeof homoName,
                      run->cameraMode() ? "test/Cam_%03d_homo.png" : "test/Proj_%03d_homo.png",
                      w.n);
        saveImage(run, homoName, w.adaptive.rectified);
    }
    const std::string diffName = reportName(*run, "diff_detectnum", w.n);
    const std::string adaptiveName = reportName(*run, "adaptive_AR_2Dinfo", w.n);
    std::ofstream diff(diffName);
    diff << w.adaptive.diff;
    std::ofstream report(adaptiveName);
    report << w.adaptive.report;
    closeReport(run, &diff, diffName);
    closeReport(run, &report, adaptiveName);
}
