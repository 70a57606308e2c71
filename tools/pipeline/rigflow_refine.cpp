#include "rigflow_refine.h"

#include <iostream>

#include "rigflow_calibrate_projector.h"

void refineRig(RigflowRun* run, std::size_t chainChecks) {
    std::cout << "[" << ++run->step << "/" << run->steps << "] joint solve of the whole rig ..."
              << std::flush;
    const std::string problem =
        refineJointly(run->workDir, run->layout, &run->results, &run->joint);
    for (const std::string& note : run->joint.notes) std::cout << "\n      " << note;
    if (!problem.empty()) {
        std::cout << " failed" << std::endl;
        run->findings.push_back({true, "the joint solve failed: " + problem,
                                 "the results are the chain's (refine = chain gives them without "
                                 "this check)"});
        return;
    }
    const RigSolution& s = run->joint.solution;
    std::cout << " done (" << s.rejected.size() << " of " << s.observations << " points rejected)"
              << std::endl;
    run->findings.erase(run->findings.begin() + static_cast<std::ptrdiff_t>(chainChecks),
                        run->findings.end());
    checkCalibration("camera", run->results.camera, false, run->config, &run->findings);
    checkCalibration("projector", run->results.projector, true, run->config, &run->findings);
    checkStereoRms(run->results, run->config, &run->findings);
    checkJoint(run->joint, &run->findings);
}
