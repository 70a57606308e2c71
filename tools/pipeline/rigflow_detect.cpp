#include "rigflow_detect.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "name_pattern.h"
#include "point_files.h"
#include "point_folder_checks.h"
#include "rigflow_drops.h"
#include "rigflow_steps.h"

namespace fs = std::filesystem;

namespace {
const char* deviceName(bool projector) {
    return projector ? "projector" : "camera";
}

std::string foreignPatternCauses() {
    return "pattern files of another set than the board and the projection image: make "
           "them with the board's seed (tagforge patterns --out data --seed S); or name "
           "the image the projector cast (projection_image)";
}

// The detection of one series, its used photos staged for it; jobs as detectionJobs.
ProgramStep seriesStep(const RigflowRun& run, bool projector, int jobs) {
    const std::string images =
        stageSeries(run.workDir, projector ? run.config.projector_images : run.config.camera_images,
                    run.plan.series.used, seriesFolder(run.layout), deviceName(projector));
    return harvestStep(
        harvestCommand(run.config, projector, run.layout, images, run.plan.series.used, jobs),
        projector);
}

// Views the detector kept whose points cannot constrain a calibration: named and left out.
void screenDetected(RigflowRun* run, bool projector) {
    const std::vector<DroppedView> unusable = leaveOutUnusableViews(
        run->workDir, projector ? run->layout.pointsProj : run->layout.pointsCam, projector);
    if (unusable.empty()) return;
    std::cout << "      " << deviceName(projector) << " views left out:\n";
    for (const DroppedView& d : unusable)
        std::cout << "        view " << d.number << ": " << d.reason << "\n";
    run->detectorDropped.insert(run->detectorDropped.end(), unusable.begin(), unusable.end());
}

// The views the detector kept; the others named with the reason.
std::vector<int> detectedViews(RigflowRun* run, bool projector, const std::vector<int>& tried) {
    const std::vector<int> kept =
        loadTrueNumbers(inWorkDir(run->workDir, trueNumberFile(run->layout, projector)));
    bool first = true;
    std::set<int> leftOut;
    for (const DroppedView& d : run->detectorDropped) leftOut.insert(d.number);
    for (int n : tried)
        if (std::find(kept.begin(), kept.end(), n) == kept.end() && !leftOut.count(n)) {
            if (first) std::cout << "      " << deviceName(projector) << " views not used:\n";
            first = false;
            const std::string reason =
                std::to_string(run->config.minimum_number) +
                " markers or fewer identified in the " + deviceName(projector) +
                " photo (minimum_number; its marked image is in " + run->layout.marked + ")";
            std::cout << "        view " << n << ": " << reason << "\n";
            run->detectorDropped.push_back({n, reason});
        }
    return kept;
}

// Every projector view tagharvest listed has an empty pattern point file.
bool noPatternPoints(const RigflowRun& run, const std::vector<int>& tried) {
    bool any = false;
    for (int n : tried) {
        const std::string name =
            inWorkDir(run.workDir, numberedName(run.layout.pointsProj, "/pattern", n, ".txt"));
        if (!fs::exists(name)) continue;
        try {
            if (!loadPointFile2(name).empty()) return false;
        } catch (const std::exception&) {
            return false;
        }
        any = true;
    }
    return any;
}

// No view left after the detector: a failed check naming what makes photos unusable.
StageResult requireViews(RigflowRun* run, bool projector, const std::vector<int>& tried) {
    const std::string trueNum = trueNumberFile(run->layout, projector);
    if (!loadTrueNumbers(inWorkDir(run->workDir, trueNum)).empty()) return {};
    detectedViews(run, projector, tried);  // names each view and why
    std::string causes =
        "pattern files of another set (data/pat.NN must be the set the board was printed "
        "from: tagforge patterns with the same --seed), the board measured wrong (mark_size, "
        "mark_space_x, mark_space_y), thresholds that turn the photos into one colour "
        "(thresh_first, thresh_interval), or minimum_number above what a photo shows";
    if (projector && noPatternPoints(*run, tried)) {
        run->findings.push_back({true,
                                 "no marker of the pattern files data/pat.NN could be identified "
                                 "in the projection image " +
                                     run->config.projection_image + ": every projector view's " +
                                     run->layout.pointsProj + "/pattern%03d.txt is empty",
                                 foreignPatternCauses()});
        return {StageStatus::kChecksFailed, ""};
    }
    if (projector)
        causes = "a projection image that is not the one the projector cast (projection_image = " +
                 run->config.projection_image + "; tagforge projection writes one), " + causes;
    run->findings.push_back({true,
                             std::string("no usable ") + deviceName(projector) +
                                 " photo: none had more than minimum_number (" +
                                 std::to_string(run->config.minimum_number) +
                                 ") identified markers with usable points (see " + trueNum +
                                 ", the views named above and the reports under info/)",
                             causes});
    return {StageStatus::kChecksFailed, ""};
}

void checkDetected(RigflowRun* run, bool projector, const std::vector<int>& tried) {
    const std::vector<int> kept = detectedViews(run, projector, tried);
    std::vector<int> markers;
    for (int n : kept)
        markers.push_back(static_cast<int>(
            loadPointFile2(
                inWorkDir(run->workDir,
                          projector ? numberedName(run->layout.pointsProj, "/proj2D", n, ".txt")
                                    : numberedName(run->layout.pointsCam, "/cam2D", n, ".txt")))
                .size() /
            4));
    checkDetection(deviceName(projector), static_cast<int>(kept.size()),
                   static_cast<int>(tried.size()), identifiedFraction(markers), run->config,
                   &run->findings);
}

// tagharvest in projector mode stops when the projection image shows no marker of the
// pattern files: the operator's mistake (another set, another image) is a failed check.
bool refuseUnmatchedPatterns(RigflowRun* run, const std::string& logName) {
    std::ifstream in(fs::path(run->workDir) / run->layout.logs / logName);
    for (std::string line; std::getline(in, line);)
        if (line.find("no marker of the pattern could be identified") != std::string::npos) {
            run->findings.push_back({true,
                                     "no marker of the pattern files data/pat.NN could be "
                                     "identified in the projection image " +
                                         run->config.projection_image + " (" + run->layout.logs +
                                         "/" + logName + ")",
                                     foreignPatternCauses()});
            return true;
        }
    return false;
}

StageResult runDetections(RigflowRun* run) {
    const Plan& p = run->plan;
    ProgramStep camera, projector;
    const int detections = (p.detectCamera ? 1 : 0) + (p.detectProjector ? 1 : 0);
    if (p.detectCamera) camera = seriesStep(*run, false, detectionJobs(run->config, detections, 0));
    if (p.detectProjector)
        projector = seriesStep(*run, true, detectionJobs(run->config, detections, detections - 1));
    StageResult result;
    if (p.detectCamera && p.detectProjector)
        result = runTogether(run, camera, projector);
    else if (p.detectCamera)
        result = runProgramStep(run, camera);
    else if (p.detectProjector)
        result = runProgramStep(run, projector);
    if (result.status == StageStatus::kStepFailed && p.detectProjector &&
        refuseUnmatchedPatterns(run, projector.logName))
        return {StageStatus::kChecksFailed, ""};
    return result;
}
}  // namespace

StageResult detect(RigflowRun* run) {
    const Plan& p = run->plan;
    StageResult result = runDetections(run);
    if (!done(result)) return result;
    if (p.detectCamera) {
        screenDetected(run, false);
        result = requireViews(run, false, p.series.used);
        if (!done(result)) return result;
        checkDetected(run, false, p.series.used);
    }
    if (p.detectProjector) {
        screenDetected(run, true);
        const std::vector<int> cameraViews =
            p.detectCamera
                ? loadTrueNumbers(inWorkDir(run->workDir, trueNumberFile(run->layout, false)))
                : p.series.used;
        result = requireViews(run, true, cameraViews);
        if (!done(result)) return result;
        detectedViews(run, true, cameraViews);
    }
    noteDroppedMarkers(run);
    if (anyFailed(run->findings)) return {StageStatus::kChecksFailed, ""};
    return {};
}
