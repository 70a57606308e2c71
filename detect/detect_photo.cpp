#include "detect_photo.h"

#include <opencv2/imgproc.hpp>
#include <string>
#include <utility>
#include <vector>

#include "accepted_markers.h"
#include "adaptive_pass.h"
#include "full_size_refinement.h"
#include "marker_drops.h"
#include "name_pattern.h"
#include "point_lists.h"
#include "threshold_sweep.h"

namespace {
// Takes the decoded photo (one photo held at a time per worker: released after its
// turn) and makes the work image the search runs on.
void loadPhoto(const RunState& run, int n, cv::Mat decoded, PhotoWork* w) {
    w->n = n;
    w->photoSize = cv::Size(run.cameraWidth, run.cameraHeight);
    w->scale = run.workScale;
    if (run.readable.count(n)) {
        const std::string name = expandPattern(run.args.driver.Camera_img, n);
        w->photo = std::move(decoded);
        if (w->photo.size() != w->photoSize) {
            reportUnusablePhoto(w->console.err(), name, n, w->photo.size(), w->photoSize);
            w->photo.release();
        }
    }
    w->image = workImage(w->photo, w->scale);
    w->workSize = w->image.empty() ? w->photoSize : w->image.size();
}

// Step 3 (and 6): drops what disagrees with the board, the corners in the pixels of the
// work image or of the photo.
void checkAgainstBoard(const RunState& run, bool onWorkImage, PhotoWork* w, DropLog* log,
                       CheckedLens* lens) {
    const std::size_t first = log->markers.size();
    dropInconsistentMarkers(run, w->n, onWorkImage ? w->workSize : w->photoSize, &w->result, log,
                            lens);
    // drops.txt measures in the photo's pixels, like the correspondences beside it.
    if (onWorkImage)
        for (std::size_t i = first; i < log->markers.size(); ++i)
            log->markers[i].errorPx /= w->scale;
}

// Steps 5 and 6: the corners of a reduced copy refined on the full photo and checked
// there; at full size only markers the adaptive pass changed need the check again.
void refineAndCheckAtFullSize(const RunState& run, const std::vector<int>& checkedIds, PhotoWork* w,
                              DropLog* log, CheckedLens* lens) {
    const bool reduced = w->scale < 1.0;
    if (reduced) refineAtFullSize(w->n, w->photo, w->scale, &w->result, log);
    if (reduced || w->result.ids != checkedIds) checkAgainstBoard(run, false, w, log, lens);
}

// The photo's block of camera_AR_2Dinfo, its drops and its count line.
void reportAccepted(const RunState& run, bool inWorkPixels, const DropLog& log, PhotoWork* w) {
    writeAcceptedBlock(run, inWorkPixels ? atFullSize(w->result, w->scale) : w->result,
                       w->reports.info2d);
    reportDrops(log.notes, w->console.out(), w->reports.info2d);
    w->count = static_cast<int>(w->result.ids.size());
    w->console.out() << "image " << w->n << " ... " << w->count << std::endl;
}

void keepDrops(const DropLog& log, PhotoWork* w) {
    w->drops.insert(w->drops.end(), log.markers.begin(), log.markers.end());
}
}  // namespace

void detectPhoto(const RunState& run, PhotoEngine* engine, int n, cv::Mat decoded, PhotoWork* w) {
    const DetectorConfig& c = run.config();
    w->console.out() << "\n\nstart detect --> " << n << std::endl;
    loadPhoto(run, n, std::move(decoded), w);
    // 1. The sweep over the thresholds.
    const std::vector<SweepEntry> sweep = sweepThresholds(run, engine, w);
    w->reports.info2d << "\n \n image_num = " << n << std::endl;
    // 2. The best sighting of every id, refined with --subpixel.
    DropLog sweepDrops;
    // The refinements (here and in the adaptive pass) share the work image's grey copy.
    if (c.subpixel && !w->image.empty()) cv::cvtColor(w->image, w->grey, cv::COLOR_BGR2GRAY);
    w->result = acceptedMarkers(run, n, sweep, w->grey, &sweepDrops);
    // 3. The board check, on the work image. Its lens serves the point lists while the
    // markers stay the same.
    checkAgainstBoard(run, true, w, &sweepDrops, &w->lens);
    const std::vector<int> checkedIds = w->result.ids;
    // Reduced photos: the corners are refined on the full photo once, after the last
    // step that can add markers.
    const bool adaptive = c.Adapbtive_thresh_flag == 1;
    if (!adaptive) refineAndCheckAtFullSize(run, checkedIds, w, &sweepDrops, &w->lens);
    reportAccepted(run, adaptive && w->scale < 1.0, sweepDrops, w);
    keepDrops(sweepDrops, w);
    // An image that could not be loaded is never usable, whatever Minimum_number says.
    w->usable = !w->image.empty() && w->count > c.Minimum_number;
    if (w->usable && adaptive) {
        w->console.out() << "## Start adaptive thresh" << std::endl;
        // 4. The adaptive pass, then 5. and 6. at full size.
        DropLog adaptiveDrops;
        runAdaptivePass(run, engine, w, &adaptiveDrops);
        refineAndCheckAtFullSize(run, checkedIds, w, &adaptiveDrops, &w->lens);
        w->count = static_cast<int>(w->result.ids.size());
        reportDrops(adaptiveDrops.notes, w->afterReports.out(), w->reports.info2d);
        keepDrops(adaptiveDrops, w);
    }
    w->reports.counts << w->count << std::endl;
    w->photo.release();
    if (w->usable) {
        // Drawn by the writer, with what is kept (on the reduced copy when the photo was
        // searched reduced): the anti-aliased labels cost a tenth of a photo's work.
        w->marked = MarkedImage{w->image, w->result, w->scale};
    }
    w->image.release();
    w->grey.release();
}

void finishPhoto(const RunState& run, PhotoWork* w) {
    if (w->usable) buildPointLists(run, w->photoSize, &w->result, &w->lens);
}
