#include "threshold_sweep.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "name_pattern.h"
#include "square_candidates.h"

namespace {
// Share of a photo that dark regions above the engine's size limit may cover before the
// run says that the markers are probably too big.
constexpr double kOversizedWarningShare = 0.1;
// With --subpixel the sweep ends once every marker of the pattern is identified with at least
// this confidence: the later thresholds would find the same markers, and the refinement
// locates the edges on the photo whichever threshold's outline it starts from.
constexpr double kSettledConfidence = 0.8;

std::string imageLabel(const RunState& run, int n) {
    return "image " + std::to_string(n) + " (" + expandPattern(run.args.driver.Camera_img, n) + ")";
}

// The number of ids the pattern image shows when every one of them has been accepted with
// kSettledConfidence or more and the threshold's confident markers hold no id twice and none the
// pattern does not show (a second printout, a look-alike): then the sweep has nothing left to find.
// 0 otherwise.
int boardSettled(const RunState& run, const std::vector<SweepEntry>& sweep,
                 const DetectionSlot& slot) {
    std::vector<int> seen(sweep.size(), 0);
    for (int j = 0; j < slot.confidentCount; ++j) {
        const int id = slot.entries[j].id;
        if (!run.patternFound(id) || id >= static_cast<int>(sweep.size()) || ++seen[id] > 1)
            return 0;
    }
    int board = 0;
    for (int id = 0; id < static_cast<int>(sweep.size()); ++id) {
        if (!run.patternFound(id)) continue;
        if (!sweep[id].found || sweep[id].best < kSettledConfidence) return 0;
        ++board;
    }
    return board;
}

// The console line of a sweep that ended before the thresholds next to last.
void sayEarlyEnd(std::ostream& out, int markers, float next, float last) {
    out << "all " << markers << " markers of the pattern identified (confidence "
        << kSettledConfidence << " or more, none twice): thresholds " << next;
    if (last != next) out << " to " << last;
    out << " not run" << std::endl;
}

// Returns the largest share of the image covered by dark marker-like regions too big for
// the engine at any threshold of the sweep.
double sweepImage(const RunState& run, PhotoEngine* engine, PhotoWork* w,
                  std::vector<SweepEntry>* sweep) {
    double oversized = 0;
    const DriverArgs& d = run.args.driver;
    const int patterns = run.config().number_of_pattern;
    const float first = static_cast<float>(d.thresh_first);
    const float interval = static_cast<float>(d.thresh_interval);
    const float repeats = static_cast<float>(d.thresh_repeat_num);
    std::ostream& out = w->console.out();
    std::ostringstream& report = w->reports.thresholds;
    DetectionSlot slot;
    for (int t = 0; static_cast<float>(t) < repeats; ++t) {
        const float thr = static_cast<float>(t) * interval + first;
        out << "THRESH " << thr;
        report << "THRESH " << thr << std::endl;
        const bool otsu = d.thresh_interval == 0;
        int threshold = static_cast<int>(thr);
        if (otsu) {
            cv::Mat grey, binary;
            cv::cvtColor(w->image, grey, cv::COLOR_BGR2GRAY);
            threshold = static_cast<int>(
                cv::threshold(grey, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU));
        }
        detectImage(engine, run.cameraRecord, w->image, &slot, threshold, d.AR_thresh,
                    imageLabel(run, w->n), w->console.err());
        oversized = std::max(oversized, slot.oversizedShare);
        orderCorners(&slot);
        out << " ... " << slot.confidentCount << std::endl;
        for (int j = 0; j < slot.confidentCount; ++j) {
            const DetectionEntry& e = slot.entries[j];
            // Unidentified markers (possible when AR_thresh is below 0.5) have no table entry.
            if (e.id < 0 || e.id >= patterns) continue;
            SweepEntry& s = (*sweep)[e.id];
            if (!(e.cf > s.best && e.cf >= d.AR_thresh)) continue;
            s.found = true;
            s.best = e.cf;
            for (int p = 0; p < 4; ++p) {
                s.corner[p][0] = static_cast<int>(e.vertex[p][0]);
                s.corner[p][1] = static_cast<int>(e.vertex[p][1]);
                s.vertex[p][0] = e.vertex[p][0];
                s.vertex[p][1] = e.vertex[p][1];
                if (w->n == 2) report << e.vertex[p][0] << " : " << e.vertex[p][1] << std::endl;
            }
        }
        if (otsu) break;
        const int lastT = static_cast<int>(std::ceil(repeats)) - 1;
        const int settled =
            run.config().subpixel && t < lastT ? boardSettled(run, *sweep, slot) : 0;
        if (settled > 0) {
            sayEarlyEnd(out, settled, static_cast<float>(t + 1) * interval + first,
                        static_cast<float>(lastT) * interval + first);
            break;
        }
    }
    return oversized;
}

void warnOversized(std::ostream& err, int n, double share, bool subpixel) {
    err << "image " << n << ": dark regions larger than the " << kMaxCandidateArea
        << " pixels a marker may have cover " << std::lround(100 * share)
        << " % of the photo: the markers are probably too big to be found; "
        << (subpixel ? "set a smaller --detect-scale"
                     : "run with --subpixel (large photos are then searched on a "
                       "reduced copy) or take the photos from further away")
        << std::endl;
}
}  // namespace

std::vector<SweepEntry> sweepThresholds(const RunState& run, PhotoEngine* engine, PhotoWork* w) {
    std::vector<SweepEntry> sweep(run.config().number_of_pattern);
    const double oversized = w->image.empty() ? 0.0 : sweepImage(run, engine, w, &sweep);
    if (oversized >= kOversizedWarningShare)
        warnOversized(w->console.err(), w->n, oversized, run.config().subpixel);
    return sweep;
}
