#include "detection_pass.h"

#include <iostream>
#include <opencv2/imgproc.hpp>

#include "adaptive_pass.h"
#include "correspondence_files.h"
#include "detect_image.h"
#include "detection_reports.h"
#include "name_pattern.h"
#include "pattern_marker_table.h"
#include "subpixel_corners.h"

namespace {
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

void sweepThresholds(RunState* state, int n, const cv::Mat& image, DetectionReports* reports,
                     std::vector<SweepEntry>* sweep) {
    const DriverArgs& d = state->args.driver;
    const int patterns = state->config().number_of_pattern;
    const float first = static_cast<float>(d.thresh_first);
    const float interval = static_cast<float>(d.thresh_interval);
    const float repeats = static_cast<float>(d.thresh_repeat_num);
    DetectionSlot slot;
    for (int t = 0; static_cast<float>(t) < repeats; ++t) {
        const float thr = static_cast<float>(t) * interval + first;
        std::cout << "THRESH " << thr;
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
        orderCorners(&slot);
        std::cout << " ... " << slot.confidentCount << std::endl;
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
}

// One centre per marker (corners summed in corner order from 0, times 0.25), or board
// corners for the 3D list.
void buildPointLists(RunState* state, int k) {
    ImageResult& r = state->results[k];
    const bool centres = state->config().center_flag != 0;
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
        float x = 0.0f, y = 0.0f;
        for (int p = 0; p < 4; ++p) {
            x += r.points2d[4 * j + p].x;
            y += r.points2d[4 * j + p].y;
        }
        reduced.emplace_back(x * 0.25f, y * 0.25f);
        const double* c = state->board[r.ids[j]].centre;
        r.points3d.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                static_cast<float>(c[2]));
    }
    r.points2d = reduced;
}
}  // namespace

void runDetectionPass(RunState* state) {
    const DetectorConfig& c = state->config();
    writeIdentityCameraParams(state, state->cameraWidth, state->cameraHeight);
    // Read once: every detection of the run uses the record just written.
    state->cameraRecord = readCameraParamFile();
    DetectionReports reports;
    openDetectionReports(*state, &reports);
    int k = 0;
    for (int n = c.first_num; n < c.first_num + c.image_num; ++n) {
        std::vector<SweepEntry> sweep(c.number_of_pattern);
        std::cout << "\n\nstart detect --> " << n << std::endl;
        // One photo held at a time: decoded for its turn, released after it.
        if (state->readable.count(n)) {
            cv::Mat image = loadSeriesImage(expandPattern(state->args.driver.Camera_img, n));
            if (image.size() == cv::Size(state->cameraWidth, state->cameraHeight))
                state->images[n] = image;
            else
                std::cerr << "image " << n << " could not be read again (it counts as unusable)"
                          << std::endl;
        }
        const auto loaded = state->images.find(n);
        if (loaded != state->images.end())
            sweepThresholds(state, n, loaded->second, &reports, &sweep);

        int& count = state->detectCount[n];
        count = 0;
        reports.info2d << "\n \n image_num = " << n << std::endl;
        ImageResult result;
        cv::Mat grey;
        if (c.subpixel && loaded != state->images.end())
            cv::cvtColor(loaded->second, grey, cv::COLOR_BGR2GRAY);
        for (int id = 0; id < c.number_of_pattern; ++id) {
            const SweepEntry& s = sweep[id];
            if (!s.found) continue;
            result.ids.push_back(id);
            result.confidences.push_back(static_cast<float>(s.best));
            reports.info2d << "\n id = " << id << std::endl;
            reports.info2d << "cf = " << s.best << std::endl;
            if (c.subpixel) {
                // No truncation in this mode: the refined corners, or the detected ones.
                cv::Point2d detected[4], refined[4];
                for (int p = 0; p < 4; ++p)
                    detected[p] = cv::Point2d(s.vertex[p][0], s.vertex[p][1]);
                const bool ok = refineMarkerCorners(grey, detected, refined);
                for (int p = 0; p < 4; ++p) {
                    const cv::Point2f corner(ok ? refined[p] : detected[p]);
                    result.points2d.push_back(corner);
                    reports.info2d << " vertec" << p << std::endl;
                    reports.info2d << corner.x << "  " << corner.y << std::endl;
                }
                if (!ok)
                    reports.info2d << "subpixel refinement failed: detected corners kept"
                                   << std::endl;
            } else {
                for (int p = 0; p < 4; ++p) {
                    result.points2d.emplace_back(static_cast<float>(s.corner[p][0]),
                                                 static_cast<float>(s.corner[p][1]));
                    reports.info2d << " vertec" << p << std::endl;
                    reports.info2d << s.corner[p][0] << "  " << s.corner[p][1] << std::endl;
                }
            }
            ++count;
        }
        std::cout << "image " << n << " ... " << count << std::endl;
        // An image that could not be loaded is never usable, whatever Minimum_number says.
        if (loaded != state->images.end() && count > c.Minimum_number) {
            state->successList.push_back(n);
            state->results.push_back(result);
            cv::Mat marked = loaded->second.clone();
            drawMarkedImage(state, n, k, marked);
            if (c.Adapbtive_thresh_flag == 1) {
                std::cout << "## Start adaptive thresh" << std::endl;
                runAdaptivePass(state, n, k);
            }
            buildBoardModel(state);
            buildPointLists(state, k);
            writeCorrespondenceFiles(state, k);
            ++k;
        }
        reports.counts << state->detectCount[n] << std::endl;
        state->images.erase(n);
    }
    closeDetectionReports(state, &reports);
}
