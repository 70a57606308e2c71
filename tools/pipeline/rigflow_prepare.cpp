#include "rigflow_prepare.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "camera_param_file.h"
#include "output_folder.h"

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kMaxListedDrops = 30;  // console lines of views not used

// The entries a run may write directly in OUTPUT.
const std::vector<std::string>& resultNames() {
    static const std::vector<std::string> names = {"marked",
                                                   "camera",
                                                   "reproj",
                                                   "undistorted",
                                                   "projector",
                                                   "logs",
                                                   "series",
                                                   "points_cam",
                                                   "points_proj",
                                                   "camera.yaml",
                                                   "projector.yaml",
                                                   "stereo.yaml",
                                                   "camera_errors.png",
                                                   "projector_errors.png",
                                                   "calibration.json",
                                                   "calibration.yaml",
                                                   "camera.cameramodel",
                                                   "projector.cameramodel",
                                                   "camera_info_camera.yaml",
                                                   "camera_info_projector.yaml",
                                                   "report.html",
                                                   kFailedName};
    return names;
}

void printSeries(const Plan& p) {
    for (const std::string& note : p.series.notes) std::cout << "note: " << note << "\n";
    if (p.series.dropped.empty()) return;
    std::cout << "views not used:\n";
    const std::size_t shown = std::min(p.series.dropped.size(), kMaxListedDrops);
    for (std::size_t i = 0; i < shown; ++i)
        std::cout << "  " << viewLabel(p.series.dropped[i]) << ": " << p.series.dropped[i].reason
                  << "\n";
    if (shown < p.series.dropped.size())
        std::cout << "  … and " << p.series.dropped.size() - shown
                  << " more (report.html lists them)\n";
}
}  // namespace

StageResult prepareFolders(RigflowRun* run) {
    const Layout& l = run->layout;
    const Plan& p = run->plan;
    // Each run writes its results afresh, and removes only what an earlier run listed.
    const std::string out = inWorkDir(run->workDir, l.out);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) return inputError("output: cannot create the folder " + l.out + ": " + ec.message());
    const std::string refused = clearEarlierResults(out, resultNames(), &run->foreign);
    if (!refused.empty()) return inputError(refused);
    run->folderReady = true;
    std::vector<std::string> folders = {l.camera, l.reproj, l.logs};
    if (p.detectCamera) folders.push_back(l.pointsCam);
    if (p.detectProjector) folders.push_back(l.pointsProj);
    if (p.detectCamera || p.detectProjector) folders.push_back(l.marked);
    if (p.projector && run->config.undistort) folders.push_back(l.undistorted);
    if (p.projector) folders.push_back(l.projector);
    for (const std::string& d : folders) fs::create_directories(fs::path(run->workDir) / d);
    if ((p.detectCamera || p.detectProjector) && !existsInWorkDir(run->workDir, "camparam.dat")) {
        // tagharvest reads it once before it writes its own; identity parameters suffice.
        const CameraParam cp = identityCameraParams(p.cameraSize.width, p.cameraSize.height);
        if (saveCameraParams(inWorkDir(run->workDir, "camparam.dat").c_str(), 1, &cp) != 0)
            return inputError("cannot write camparam.dat in " + run->workDir);
    }
    if (!writeManifest(out, run->foreign))
        return inputError("output: cannot write " + l.out + "/" + kManifestName);
    return {};
}

void printHeader(const RigflowRun& run) {
    const Plan& p = run.plan;
    std::cout << "rigflow: ";
    if (p.detectCamera || p.detectProjector)
        std::cout << p.series.used.size() << " of " << viewsTried(p.series) << " views used, ";
    std::cout << "camera " << p.cameraSize.width << " x " << p.cameraSize.height;
    if (p.projector)
        std::cout << ", projector " << p.projectorSize.width << " x " << p.projectorSize.height;
    else
        std::cout << ", no projector";
    if (!p.detectCamera) std::cout << "; camera points from " << run.layout.pointsCam;
    if (!p.sizeFrom.empty()) std::cout << "; camera size " << p.sizeFrom;
    if (p.projector && !p.detectProjector)
        std::cout << "; projector points from " << run.layout.pointsProj;
    std::cout << std::endl;
    const std::string foreign = foreignNote(run.layout.out, run.foreign);
    if (!foreign.empty()) std::cout << "note: " << foreign << "\n";
    printSeries(p);
}
