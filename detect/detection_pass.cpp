#include "detection_pass.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adaptive_pass.h"
#include "correspondence_files.h"
#include "detect_image.h"
#include "detect_photo.h"
#include "detection_reports.h"
#include "name_pattern.h"
#include "ordered_jobs.h"
#include "pattern_marker_table.h"
#include "photo_reader.h"

namespace {
// Says what photo w said, writes its files and adds it to the run's results, in the order
// one job would have.
void takePhoto(RunState* state, DetectionReports* reports, PhotoWork* w) {
    w->console.replay(std::cout, std::cerr);
    reports->info2d << w->reports.info2d.str();
    reports->counts << w->reports.counts.str();
    reports->thresholds << w->reports.thresholds.str();
    state->detectCount[w->n] = w->count;
    state->drops.insert(state->drops.end(), w->drops.begin(), w->drops.end());
    if (!w->usable) return;
    writeAdaptiveReports(state, *w);
    w->afterReports.replay(std::cout, std::cerr);
    saveImage(state, expandPattern(state->config().marked_image_name, w->n), w->marked.base,
              [drawn = std::move(w->marked.drawn), scale = w->marked.scale](cv::Mat* image) {
                  drawMarkedImage(drawn, scale, image);
              });
    writeCorrespondenceFiles(state, w->n, w->result);
    state->successList.push_back(w->n);
    state->results.push_back(std::move(w->result));
}
}  // namespace

void startPhotoReader(RunState* state) {
    const DetectorConfig& c = state->config();
    std::vector<std::string> names(c.image_num);
    for (int i = 0; i < c.image_num; ++i)
        if (state->readable.count(c.first_num + i))
            names[i] = expandPattern(state->args.driver.Camera_img, c.first_num + i);
    std::vector<cv::Mat> decoded(c.image_num);
    if (!state->firstPhoto.empty())
        decoded[state->firstPhotoNumber - c.first_num] = std::move(state->firstPhoto);
    state->reader = std::make_unique<PhotoReader>(std::move(names), std::move(decoded));
}

void runDetectionPass(RunState* state, int jobs) {
    const DetectorConfig& c = state->config();
    writeIdentityCameraParams(state, state->cameraWidth, state->cameraHeight);
    buildBoardModel(state);  // the board check needs each id's place from the first image
    // Read once: every detection of the run uses the record just written.
    state->cameraRecord = readCameraParamFile();
    DetectionReports reports;
    openDetectionReports(*state, &reports);
    const int photos = c.image_num;
    jobs = std::max(1, std::min(jobs, photos));
    // As many writers as jobs (two at least, the cores at most): the marked images are
    // drawn there too.
    if (!state->writer)
        state->writer = std::make_shared<ImageWriter>(std::max(2, std::min(jobs, machineCores())));
    if (!state->reader) startPhotoReader(state);
    PhotoReader& reader = *state->reader;
    // Each worker's engine shares the set-up's camera and patterns; its buffers, which
    // hold what the set-up's last detection left (megabytes), start empty.
    std::vector<PhotoEngine> engines(jobs);
    for (PhotoEngine& e : engines) {
        e.context.camera = state->engine->camera;
        e.context.patterns = state->engine->patterns;
    }
    // Made when a photo's work starts, released once taken: a long series holds little.
    std::vector<std::unique_ptr<PhotoWork>> works(photos);
    const RunState& run = *state;
    // The point lists do not decide the detection: with one job they are built when the
    // photo is taken, beside the next photo's detection; with several by the workers, as
    // the taking thread would hold them up.
    const bool listsWhenTaken = jobs == 1;
    auto work = [&](int worker, int i) {
        works[i] = std::make_unique<PhotoWork>();
        detectPhoto(run, &engines[worker], c.first_num + i, reader.take(i), works[i].get());
        if (!listsWhenTaken) finishPhoto(run, works[i].get());
    };
    auto take = [&](int i) {
        if (listsWhenTaken) finishPhoto(run, works[i].get());
        takePhoto(state, &reports, works[i].get());
        works[i].reset();
    };
    runInOrder(photos, jobs, work, take);
    closeDetectionReports(state, &reports);
}
