#include "detection_reports.h"

#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>

void openDetectionReports(const RunState& state, DetectionReports* r) {
    const std::string folder = state.infoFolder();
    r->info2dName = folder + "/camera_AR_2Dinfo.txt";
    r->countsName = folder + "/detect_camAR.txt";
    r->thresholdsName = folder + "/camera_02AR_ID21.txt";
    r->info2d.open(r->info2dName);
    r->counts.open(r->countsName);
    r->thresholds.open(r->thresholdsName);
}

void closeReport(RunState* state, std::ofstream* out, const std::string& name) {
    const bool opened = out->is_open();
    out->close();
    if (!opened || out->fail()) reportUnwritten(state, name);
}

void closeDetectionReports(RunState* state, DetectionReports* r) {
    closeReport(state, &r->info2d, r->info2dName);
    closeReport(state, &r->counts, r->countsName);
    closeReport(state, &r->thresholds, r->thresholdsName);
}

void drawMarkedImage(const ImageResult& full, double scale, cv::Mat* target) {
    ImageResult result = full;
    if (scale < 1.0)
        for (cv::Point2f& p : result.points2d)
            p = cv::Point2f(static_cast<float>((p.x + 0.5) * scale - 0.5),
                            static_cast<float>((p.y + 0.5) * scale - 0.5));
    static const cv::Scalar kCornerColour[4] = {
        {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    // Drawing coordinates round to the nearest integer, halves to even.
    auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    for (std::size_t q = 0; q < result.points2d.size(); ++q) {
        const cv::Point2f& p = result.points2d[q];
        cv::circle(*target, cv::Point(round(p.x), round(p.y)), 5, kCornerColour[q % 4], 1,
                   cv::LINE_8);
    }
    const int count = static_cast<int>(result.ids.size());
    for (int j = 0; j < count && 4 * j + 3 < static_cast<int>(result.points2d.size()); ++j) {
        const cv::Point2f* c = &result.points2d[4 * j];
        const float cx = (c[1].x + c[0].x + c[2].x + c[3].x) * 0.25f - 15;
        const float cy = (c[3].y + c[0].y + c[2].y + c[1].y) * 0.25f - 10;
        char text[32];
        std::snprintf(text, sizeof text, "id%02d", result.ids[j]);
        cv::putText(*target, text, cv::Point(round(cx), round(cy)), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                    cv::Scalar(255, 255, 0), 2, cv::LINE_AA);
        std::snprintf(text, sizeof text, "%4.3f", result.confidences[j]);
        cv::putText(*target, text, cv::Point(round(cx + 5), round(cy + 15)),
                    cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255, 0, 255), 2, cv::LINE_AA);
    }
}
