#include "rigflow_run.h"

#include <filesystem>
#include <iostream>

#include "output_folder.h"
#include "rigflow_calibrate_camera.h"
#include "rigflow_calibrate_projector.h"
#include "rigflow_detect.h"
#include "rigflow_inputs.h"
#include "rigflow_prepare.h"
#include "rigflow_refine.h"
#include "rigflow_results.h"

namespace fs = std::filesystem;

bool parseRigflowArgs(int argc, char** argv, RigflowOptions* o, int* status) {
    *status = kRigflowUsage;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--config" || a == "--truth") && i + 1 < argc) {
            (a == "--config" ? o->configPath : o->truthPath) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            *status = kRigflowOk;
            o->workDir.clear();
            break;
        } else if (!a.empty() && a[0] != '-' && o->workDir.empty()) {
            o->workDir = a;
        } else {
            o->workDir.clear();
            break;
        }
    }
    if (o->workDir.empty()) {
        std::cout << "Usage: rigflow [--config FILE] [--truth truth.yaml] WORKDIR\n"
                     "Runs tagharvest (camera and projector mode), lensrig, warpdots and lumenrig "
                     "on the photos in\n"
                     "WORKDIR and writes the calibration below it. WORKDIR holds data/pat.NN, the "
                     "projected pattern\n"
                     "image and the configuration file (default WORKDIR/rigflow.cfg), lines of key "
                     "= value:\n";
        for (const std::string& line : rigflowConfigHelp()) std::cout << "  " << line << "\n";
        return false;
    }
    if (o->configPath.empty()) o->configPath = (fs::path(o->workDir) / "rigflow.cfg").string();
    return true;
}

namespace {
// The exit status of a stage that stopped the run.
int stoppedBy(RigflowRun* run, const StageResult& result) {
    switch (result.status) {
        case StageStatus::kDone:
            return kRigflowOk;
        case StageStatus::kInputError:
            if (run->step == 0) {
                std::cerr << "rigflow: " << result.message << std::endl;
                return kRigflowInputError;
            }
            // Exit 2 says no program ran; found later, the mistake fails the run's checks.
            run->findings.push_back({true, result.message, "fix the input named and run again"});
            reportFindings(*run);
            return kRigflowChecksFailed;
        case StageStatus::kStepFailed:
            return kRigflowStepFailed;
        case StageStatus::kChecksFailed:
            reportFindings(*run);
            return kRigflowChecksFailed;
    }
    return kRigflowStepFailed;
}

// The programs' stages in order; the first that does not finish ends the run.
StageResult calibrate(RigflowRun* run) {
    const Plan& p = run->plan;
    const RigflowConfig& c = run->config;
    const bool undistort = p.projector && c.undistort;
    const bool joint = p.projector && c.refine == "joint";
    run->steps = p.detectCamera + p.detectProjector + 1 + (undistort ? 2 : 0) + p.projector + joint;
    StageResult result = detect(run);
    if (done(result)) result = calibrateCamera(run);
    if (!done(result)) return result;
    const std::size_t chainChecks = run->findings.size();
    if (p.projector) result = calibrateProjector(run);
    if (!done(result)) return result;
    if (joint) refineRig(run, chainChecks);
    return result;
}

int finish(RigflowRun* run, const RigflowOptions& o) {
    const Plan& p = run->plan;
    const Results& r = run->results;
    checkCoverage(run);
    const bool written = writeResults(run);
    // Given camera points: the views their true-number file lists.
    const int tried =
        p.detectCamera ? viewsTried(p.series) : static_cast<int>(r.camera.imageNumbers.size());
    printSummary(run->config, r, tried, inWorkDir(run->workDir, run->layout.out));
    warnCameraDisagreement(*run);
    if (!o.truthPath.empty() && run->joint.done)
        compareWithTruth(o.truthPath, run->joint.chain, "the chain's results");
    if (!o.truthPath.empty())
        compareWithTruth(o.truthPath, r, run->joint.done ? "the joint solve" : "");
    if (reportFindings(*run)) return kRigflowChecksFailed;
    return written ? kRigflowOk : kRigflowStepFailed;
}

int runAll(RigflowRun* run, const RigflowOptions& o) {
    run->workDir = o.workDir;
    try {
        StageResult result = readInputs(o, run);
        if (done(result)) result = prepareFolders(run);
        if (done(result)) {
            printHeader(*run);
            result = calibrate(run);
        }
        if (!done(result)) return stoppedBy(run, result);
        return finish(run, o);
    } catch (const std::exception& e) {
        // Libraries and file readers throw; the run stops with what it has written.
        std::cerr << "rigflow: stopped by an unexpected failure: " << e.what()
                  << "; the results so far are in " << run->layout.out
                  << " (check that WORKDIR and the output folder are writable and have room)"
                  << std::endl;
        return kRigflowStepFailed;
    }
}
}  // namespace

int runRigflow(const RigflowOptions& o) {
    RigflowRun run;
    const int status = runAll(&run, o);
    if (!run.folderReady || writeManifest(inWorkDir(run.workDir, run.layout.out), run.foreign))
        return status;
    std::cerr << "rigflow: cannot write " << run.layout.out << "/" << kManifestName
              << ": the next run will not know which files in it are rigflow's" << std::endl;
    return status == kRigflowOk ? kRigflowStepFailed : status;
}
