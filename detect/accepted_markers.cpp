#include "accepted_markers.h"

#include "subpixel_corners.h"

ImageResult acceptedMarkers(const RunState& run, int n, const std::vector<SweepEntry>& sweep,
                            const cv::Mat& grey, DropLog* log) {
    const DetectorConfig& c = run.config();
    ImageResult result;
    for (int id = 0; id < c.number_of_pattern; ++id) {
        const SweepEntry& s = sweep[id];
        if (!s.found) continue;
        cv::Point2d corners[4];
        if (c.subpixel) {
            // No truncation in this mode: the refined corners, or the detected ones of a
            // marker too small to refine.
            cv::Point2d detected[4];
            for (int p = 0; p < 4; ++p) detected[p] = cv::Point2d(s.vertex[p][0], s.vertex[p][1]);
            const Refinement r = refineMarkerCornersChecked(grey, detected, corners);
            if (r == Refinement::kDamaged) {
                logDamagedMarker(n, id, log);
                continue;
            }
            if (r == Refinement::kTooSmall)
                for (int p = 0; p < 4; ++p) corners[p] = detected[p];
        } else {
            for (int p = 0; p < 4; ++p) corners[p] = cv::Point2d(s.corner[p][0], s.corner[p][1]);
        }
        result.ids.push_back(id);
        result.confidences.push_back(static_cast<float>(s.best));
        result.reportedConfidences.push_back(s.best);
        for (int p = 0; p < 4; ++p) result.points2d.emplace_back(corners[p]);
    }
    return result;
}

void writeAcceptedBlock(const RunState& run, const ImageResult& result, std::ostream& out) {
    for (std::size_t j = 0; j < result.ids.size(); ++j) {
        out << "\n id = " << result.ids[j] << std::endl;
        out << "cf = " << result.reportedConfidences[j] << std::endl;
        for (int p = 0; p < 4; ++p) {
            const cv::Point2f& q = result.points2d[4 * j + p];
            out << " vertec" << p << std::endl;
            if (run.config().subpixel)
                out << q.x << "  " << q.y << std::endl;
            else
                out << static_cast<int>(q.x) << "  " << static_cast<int>(q.y) << std::endl;
        }
    }
}
