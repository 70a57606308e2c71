#include "rigflow_results.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "calibration_tree.h"
#include "gl_projection.h"
#include "html_report.h"
#include "lens_model_kind.h"
#include "mrcal_export.h"
#include "name_pattern.h"
#include "ros_export.h"
#include "svg_plot.h"
#include "view_checks.h"

namespace fs = std::filesystem;

namespace {
constexpr double kMaxUncovered = 0.3;  // share of the image without corners
constexpr double kCameraAgreementRelative = 0.2, kCameraAgreementPx = 0.05;

void writeFailedNote(const RigflowRun& run) {
    std::ofstream out(inWorkDir(run.workDir, run.layout.out + "/" + kFailedName));
    out << "This calibration failed its checks; do not use the results in this folder.\n"
        << describeFindings(run.findings);
    out.close();
    if (out.fail())
        std::cerr << "rigflow: cannot write " << run.layout.out << "/" << kFailedName << std::endl;
}

std::string failedChecks(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings)
        if (f.failed) text += (text.empty() ? "FAILED: " : "; ") + f.what;
    return text.empty() ? "passed" : text;
}

bool writeReport(const RigflowRun& run) {
    ReportPage page;
    page.results = &run.results;
    page.findings = run.findings;
    page.dropped = run.plan.series.dropped;
    page.dropped.insert(page.dropped.end(), run.detectorDropped.begin(), run.detectorDropped.end());
    page.viewsTried = viewsTried(run.plan.series);
    if (!run.plan.detectCamera && !run.plan.detectProjector)
        page.viewsTried = static_cast<int>(run.results.camera.imageNumbers.size());
    page.reportFolder = inWorkDir(run.workDir, run.layout.out);
    if (run.joint.done) page.joint = &run.joint;
    const std::string marked = fs::path(run.layout.marked).filename().string();
    for (int n : run.results.camera.imageNumbers)
        if (run.plan.detectCamera)
            page.cameraMarked.emplace_back(n, marked + "/" + expandPattern("cam%03d.png", n));
    for (int n : run.results.projector.imageNumbers)
        if (run.plan.detectProjector)
            page.projectorMarked.emplace_back(n, marked + "/" + expandPattern("proj%03d.png", n));
    return writeHtmlReport(inWorkDir(run.workDir, run.layout.out + "/report.html"), page);
}
}  // namespace

void checkCoverage(RigflowRun* run) {
    const Results& r = run->results;
    std::vector<const DeviceResult*> devices = {&r.camera};
    if (r.hasProjector && r.projector.model != lensModelName(LensModel::kNone))
        devices.push_back(&r.projector);
    for (const DeviceResult* d : devices) {
        const std::string device = d == &r.camera ? "camera" : "projector";
        const double share = uncoveredShare(d->size, d->corners, kCoverageColumns, kCoverageRows);
        if (share > kMaxUncovered)
            run->findings.push_back(
                {false,
                 device + ": " + std::to_string(static_cast<int>(std::lround(100 * share))) +
                     " % of the image holds no corner (its lens distortion is extrapolated "
                     "there; see the coverage in report.html)",
                 "add views with the board near the corners and edges of the image"});
        checkRegions(device, d->size, d->corners, &run->findings);
    }
}

bool writeResults(RigflowRun* run) {
    const std::string& w = run->workDir;
    const Layout& l = run->layout;
    const RigflowConfig& c = run->config;
    Results& r = run->results;
    r.camera.checks = r.projector.checks = r.stereo.checks = failedChecks(run->findings);
    r.camera.glProjection = glProjection(r.camera.cameraMatrix, r.camera.size, c.gl_near, c.gl_far);
    if (r.hasProjector)
        r.projector.glProjection =
            glProjection(r.projector.cameraMatrix, r.projector.size, c.gl_near, c.gl_far);
    bool written =
        writeDeviceYaml(inWorkDir(w, l.out + "/camera.yaml"), r.camera) &&
        writeErrorChart(inWorkDir(w, l.out + "/camera_errors.png"), "Camera: RMS error per view",
                        r.camera.imageNumbers, r.camera.perViewRms, r.camera.rms);
    if (r.hasProjector)
        written = written &&
                  writeDeviceYaml(inWorkDir(w, l.out + "/projector.yaml"), r.projector) &&
                  writeStereoYaml(inWorkDir(w, l.out + "/stereo.yaml"), r.stereo) &&
                  writeErrorChart(inWorkDir(w, l.out + "/projector_errors.png"),
                                  "Projector: RMS error per view", r.projector.imageNumbers,
                                  r.projector.perViewRms, r.projector.rms);
    written = written &&
              writeCalibrationTree(inWorkDir(w, l.out), calibrationTree(r, c.gl_near, c.gl_far));
    written = written && writeMrcalModels(inWorkDir(w, l.out), r) &&
              writeRosCameraInfo(inWorkDir(w, l.out), r);
    written = written && writeReport(*run);
    if (!written)
        std::cerr << "rigflow: cannot write the results files in " << l.out
                  << " whole (check its free space and permissions)" << std::endl;
    return written;
}

bool reportFindings(const RigflowRun& run) {
    if (run.findings.empty()) return false;
    std::cout << "\n== Checks\n" << describeFindings(run.findings) << std::flush;
    if (!anyFailed(run.findings)) return false;
    writeFailedNote(run);
    std::cerr << "rigflow: the calibration failed its checks (see == Checks); the results in "
              << run.layout.out << " are marked as failed (" << kFailedName << ")" << std::endl;
    return true;
}

void warnCameraDisagreement(const RigflowRun& run) {
    const Results& r = run.results;
    if (!r.hasProjector || !run.config.undistort) return;
    const double a = run.joint.done ? run.joint.chain.camera.rms : r.camera.rms;
    const double b = r.pinholeCameraRms;
    if (std::abs(a - b) > kCameraAgreementRelative * std::min(a, b) + kCameraAgreementPx)
        std::cerr << "rigflow: warning: the camera's RMS error is " << a << " px with its "
                  << r.camera.model << " lens but " << b
                  << " px as a pinhole on the undistorted points (lumenrig): the camera "
                     "lens model is the suspect (try camera_model = standard or "
                     "rational)"
                  << std::endl;
}
