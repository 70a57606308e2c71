#include "detection_pass.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "adaptive_pass.h"
#include "board_consistency.h"
#include "correspondence_files.h"
#include "detect_image.h"
#include "detection_reports.h"
#include "marker_drops.h"
#include "name_pattern.h"
#include "ordered_jobs.h"
#include "pattern_marker_table.h"
#include "photo_console.h"
#include "square_candidates.h"
#include "subpixel_corners.h"

namespace {
// Share of a photo that dark regions above the engine's size limit may cover before the
// run says that the markers are probably too big.
constexpr double kOversizedWarningShare = 0.1;

// One photo's part of the run-wide reports (DetectionReports), appended in image order.
struct PhotoReports {
    std::ostringstream info2d, counts, thresholds;
};

// Best sighting of each id over the sweep of one image.
struct SweepEntry {
    bool found = false;
    double best = -1.0;
    int corner[4][2] = {};     // truncated toward zero
    double vertex[4][2] = {};  // as detected (the start of a sub-pixel refinement)
};

std::string imageLabel(const RunState& state, int n) {
    return "image " + std::to_string(n) + " (" + expandPattern(state.args.driver.Camera_img, n) +
           ")";
}

// Returns the largest share of the image covered by dark marker-like regions too big for
// the engine at any threshold of the sweep.
double sweepThresholds(RunState* state, int n, const cv::Mat& image, PhotoReports* reports,
                       std::vector<SweepEntry>* sweep) {
    double oversized = 0;
    const DriverArgs& d = state->args.driver;
    const int patterns = state->config().number_of_pattern;
    const float first = static_cast<float>(d.thresh_first);
    const float interval = static_cast<float>(d.thresh_interval);
    const float repeats = static_cast<float>(d.thresh_repeat_num);
    DetectionSlot slot;
    for (int t = 0; static_cast<float>(t) < repeats; ++t) {
        const float thr = static_cast<float>(t) * interval + first;
        *state->out << "THRESH " << thr;
        reports->thresholds << "THRESH " << thr << std::endl;
        const bool otsu = d.thresh_interval == 0;
        int threshold = static_cast<int>(thr);
        if (otsu) {
            cv::Mat grey, binary;
            cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
            threshold = static_cast<int>(
                cv::threshold(grey, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU));
        }
        detectImage(state, image, &slot, threshold, d.AR_thresh, imageLabel(*state, n));
        oversized = std::max(oversized, slot.oversizedShare);
        orderCorners(&slot);
        *state->out << " ... " << slot.confidentCount << std::endl;
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
                if (n == 2)
                    reports->thresholds << e.vertex[p][0] << " : " << e.vertex[p][1] << std::endl;
            }
        }
        if (otsu) break;
    }
    return oversized;
}

// One centre per marker (corners summed in corner order from 0, times 0.25; with --subpixel
// the crossing of the diagonals), or board
// corners for the 3D list. With --subpixel the corners are first freed of the lens's bending
// of the edges (as fitted to the photo's markers), and the diagonals cross where the lens
// puts the centre.
void buildPointLists(RunState* state, int k, cv::Size photo) {
    ImageResult& r = state->results[k];
    const bool centres = state->config().center_flag != 0;
    RadialLens lens;
    const bool unbent = state->config().subpixel && fitMarkerLens(*state, r, photo, &lens);
    if (unbent)
        for (std::size_t j = 0; j < r.ids.size(); ++j) {
            cv::Point2d corners[4];
            for (int p = 0; p < 4; ++p) corners[p] = r.points2d[4 * j + p];
            unbendCorners(lens, corners);
            for (int p = 0; p < 4; ++p) r.points2d[4 * j + p] = cv::Point2f(corners[p]);
        }
    r.points3d.clear();
    if (!centres) {
        for (int id : r.ids)
            for (const auto& c : state->board[id].corner)
                r.points3d.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                        static_cast<float>(c[2]));
        return;
    }
    std::vector<cv::Point2f> reduced;
    for (std::size_t j = 0; j < r.ids.size(); ++j) {
        if (state->config().subpixel) {
            // Refined corners are worth the exact centre: the corners' mean is biased by the
            // perspective (up to tenths of a pixel on a tilted board).
            cv::Point2d corners[4];
            for (int p = 0; p < 4; ++p) corners[p] = r.points2d[4 * j + p];
            reduced.emplace_back(unbent ? diagonalCrossing(lens, corners)
                                        : diagonalCrossing(corners));
        } else {
            float x = 0.0f, y = 0.0f;
            for (int p = 0; p < 4; ++p) {
                x += r.points2d[4 * j + p].x;
                y += r.points2d[4 * j + p].y;
            }
            reduced.emplace_back(x * 0.25f, y * 0.25f);
        }
        const double* c = state->board[r.ids[j]].centre;
        r.points3d.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                static_cast<float>(c[2]));
    }
    r.points2d = reduced;
}

// The best sighting of every id as accepted corners: truncated as specified, or refined
// on the photo with --subpixel (where a marker with broken edges is dropped and named).
ImageResult acceptedMarkers(const RunState& state, int n, const std::vector<SweepEntry>& sweep,
                            const cv::Mat& photo, std::vector<std::string>* drops) {
    const DetectorConfig& c = state.config();
    ImageResult result;
    cv::Mat grey;
    if (c.subpixel && !photo.empty()) cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
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
                drops->push_back(damagedMarkerNote(n, id));
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

// The photo as the search sees it: itself, or reduced by scale (pixel areas averaged).
cv::Mat workImage(const cv::Mat& photo, double scale) {
    if (scale >= 1.0 || photo.empty()) return photo;
    cv::Mat reduced;
    cv::resize(photo, reduced,
               cv::Size(static_cast<int>(std::lround(photo.cols * scale)),
                        static_cast<int>(std::lround(photo.rows * scale))),
               0, 0, cv::INTER_AREA);
    return reduced;
}

// Pixel centres at integers in both images: x_full = (x_work + 0.5) / scale - 0.5.
cv::Point2d toFullSize(cv::Point2d p, double scale) {
    return (p + cv::Point2d(0.5, 0.5)) / scale - cv::Point2d(0.5, 0.5);
}

ImageResult atFullSize(ImageResult result, double scale) {
    for (cv::Point2f& p : result.points2d) p = cv::Point2f(toFullSize(p, scale));
    return result;
}

// Corners found on the reduced copy, refined again on the full photo and checked against
// the board there. Markers refined on the copy are about 0.1 px (of the copy) off, well
// inside the full photo's edge windows.
void refineAtFullSize(const RunState& state, int n, const cv::Mat& photo, double scale,
                      ImageResult* result, std::vector<std::string>* drops) {
    // A photo that could not be read has no markers to refine (and nothing to refine on).
    if (photo.empty()) {
        *result = ImageResult();
        return;
    }
    cv::Mat grey;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    ImageResult full;
    for (std::size_t j = 0; j < result->ids.size(); ++j) {
        cv::Point2d start[4], refined[4];
        for (int p = 0; p < 4; ++p) start[p] = toFullSize(result->points2d[4 * j + p], scale);
        const Refinement r = refineMarkerCornersChecked(grey, start, refined);
        if (r == Refinement::kDamaged) {
            drops->push_back(damagedMarkerNote(n, result->ids[j]));
            continue;
        }
        appendMarker(*result, j, &full);
        for (int p = 0; p < 4; ++p)
            full.points2d[full.points2d.size() - 4 + p] =
                cv::Point2f(r == Refinement::kRefined ? refined[p] : start[p]);
    }
    dropInconsistentMarkers(state, n, photo.size(), &full, drops);
    *result = full;
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

// The image's block of camera_AR_2Dinfo: id, confidence and corners of every kept marker.
void writeAcceptedBlock(const RunState& state, const ImageResult& result, std::ostream& out) {
    for (std::size_t j = 0; j < result.ids.size(); ++j) {
        out << "\n id = " << result.ids[j] << std::endl;
        out << "cf = " << result.reportedConfidences[j] << std::endl;
        for (int p = 0; p < 4; ++p) {
            const cv::Point2f& q = result.points2d[4 * j + p];
            out << " vertec" << p << std::endl;
            if (state.config().subpixel)
                out << q.x << "  " << q.y << std::endl;
            else
                out << static_cast<int>(q.x) << "  " << static_cast<int>(q.y) << std::endl;
        }
    }
}
}  // namespace

namespace {
// Searches photo n of the series (photoSize) with the per-photo state w (its results
// position is 0), writing the run-wide reports' part of it into reports.
void detectPhoto(RunState* w, int n, cv::Size photoSize, PhotoReports* reports) {
    const DetectorConfig& c = w->config();
    RunState* state = w;
    const double scale = state->workScale;
    const int k = 0;
    state->successList.clear();
    state->results.clear();
    state->detectCount.clear();
    state->unwritten.clear();
    std::vector<SweepEntry> sweep(c.number_of_pattern);
    *state->out << "\n\nstart detect --> " << n << std::endl;
    // One photo held at a time: decoded for its turn, released after it. The search
    // works on the work image (the photo, or its reduced copy) and at its size.
    cv::Mat photo;
    if (state->readable.count(n)) {
        photo = loadSeriesImage(expandPattern(state->args.driver.Camera_img, n));
        if (photo.size() != photoSize) {
            reportUnusablePhoto(*state->err, expandPattern(state->args.driver.Camera_img, n), n,
                                photo.size(), photoSize);
            photo.release();
        } else {
            state->images[n] = workImage(photo, scale);
        }
    }
    state->cameraWidth = photo.empty() ? photoSize.width : state->images[n].cols;
    state->cameraHeight = photo.empty() ? photoSize.height : state->images[n].rows;
    const auto loaded = state->images.find(n);
    double oversized = 0;
    if (loaded != state->images.end())
        oversized = sweepThresholds(state, n, loaded->second, reports, &sweep);
    if (oversized >= kOversizedWarningShare) warnOversized(*state->err, n, oversized, c.subpixel);

    int& count = state->detectCount[n];
    count = 0;
    reports->info2d << "\n \n image_num = " << n << std::endl;
    std::vector<std::string> drops;
    ImageResult result = acceptedMarkers(
        *state, n, sweep, loaded != state->images.end() ? loaded->second : cv::Mat(), &drops);
    dropInconsistentMarkers(*state, n, cv::Size(state->cameraWidth, state->cameraHeight), &result,
                            &drops);
    // Reduced photos: the corners are refined on the full photo once, after the last
    // pass that can add markers.
    const bool adaptive = c.Adapbtive_thresh_flag == 1;
    if (scale < 1.0 && !adaptive) refineAtFullSize(*state, n, photo, scale, &result, &drops);
    writeAcceptedBlock(*state, scale < 1.0 && adaptive ? atFullSize(result, scale) : result,
                       reports->info2d);
    reportDrops(drops, *state->out, reports->info2d);
    count = static_cast<int>(result.ids.size());
    *state->out << "image " << n << " ... " << count << std::endl;
    // An image that could not be loaded is never usable, whatever Minimum_number says.
    if (loaded != state->images.end() && count > c.Minimum_number) {
        state->successList.push_back(n);
        state->results.push_back(result);
        if (adaptive) {
            *state->out << "## Start adaptive thresh" << std::endl;
            drops.clear();
            runAdaptivePass(state, n, k, &drops);
            if (scale < 1.0)
                refineAtFullSize(*state, n, photo, scale, &state->results[k], &drops);
            else if (state->results[k].ids != result.ids)  // the sweep's were checked
                dropInconsistentMarkers(*state, n, photoSize, &state->results[k], &drops);
            count = static_cast<int>(state->results[k].ids.size());
            reportDrops(drops, *state->out, reports->info2d);
        }
        // The marked image is drawn once, with what is kept (on the reduced copy when
        // the photo was searched reduced).
        cv::Mat marked = scale < 1.0 ? workImage(photo, scale) : loaded->second;
        drawMarkedImage(state, n, k, marked, scale);
        buildPointLists(state, k, photoSize);
        writeCorrespondenceFiles(state, k);
    }
    reports->counts << state->detectCount[n] << std::endl;
    state->images.erase(n);
}

// A state for the photos of one worker: the run's set-up (arguments, tables, camera
// record, loaded patterns) with an engine, buffers and results of its own.
std::unique_ptr<RunState> photoState(const RunState& run) {
    auto w = std::make_unique<RunState>();
    w->args = run.args;
    w->readable = run.readable;
    w->workScale = run.workScale;
    w->patternImage = run.patternImage;
    w->patternTable = run.patternTable;
    w->board = run.board;
    w->cameraRecord = run.cameraRecord;
    *w->engine = *run.engine;
    w->writer = run.writer;
    return w;
}

// What the work on one photo leaves for the run, taken in image order.
struct PhotoOutcome {
    PhotoConsole console;
    PhotoReports reports;
    int count = 0;
    bool usable = false;
    ImageResult result;
    std::vector<std::string> unwritten;
};
}  // namespace

void runDetectionPass(RunState* state, int jobs) {
    const DetectorConfig& c = state->config();
    writeIdentityCameraParams(state, state->cameraWidth, state->cameraHeight);
    buildBoardModel(state);  // the board check needs each id's place from the first image
    // Read once: every detection of the run uses the record just written.
    state->cameraRecord = readCameraParamFile();
    DetectionReports reports;
    openDetectionReports(*state, &reports);
    const cv::Size photoSize(state->cameraWidth, state->cameraHeight);
    const int photos = c.image_num;
    jobs = std::max(1, std::min(jobs, photos));
    // The workers' images go to the run's writer.
    if (!state->writer) state->writer = std::make_shared<ImageWriter>();
    std::vector<std::unique_ptr<RunState>> workers;
    for (int w = 0; w < jobs; ++w) workers.push_back(photoState(*state));
    // Made when a photo's work starts, released once taken: a long series holds little.
    std::vector<std::unique_ptr<PhotoOutcome>> outcomes(photos);
    auto work = [&](int worker, int i) {
        RunState* w = workers[worker].get();
        outcomes[i] = std::make_unique<PhotoOutcome>();
        PhotoOutcome& o = *outcomes[i];
        w->out = &o.console.out();
        w->err = &o.console.err();
        const int n = c.first_num + i;
        detectPhoto(w, n, photoSize, &o.reports);
        o.count = w->detectCount[n];
        o.usable = !w->successList.empty();
        if (o.usable) o.result = w->results[0];
        o.unwritten = w->unwritten;
    };
    auto take = [&](int i) {
        PhotoOutcome& o = *outcomes[i];
        const int n = c.first_num + i;
        o.console.replay(std::cout, std::cerr);
        reports.info2d << o.reports.info2d.str();
        reports.counts << o.reports.counts.str();
        reports.thresholds << o.reports.thresholds.str();
        state->detectCount[n] = o.count;
        if (o.usable) {
            state->successList.push_back(n);
            state->results.push_back(std::move(o.result));
        }
        state->unwritten.insert(state->unwritten.end(), o.unwritten.begin(), o.unwritten.end());
        outcomes[i].reset();
    };
    runInOrder(photos, jobs, work, take);
    closeDetectionReports(state, &reports);
}
