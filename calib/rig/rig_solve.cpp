#include "rig_solve.h"

int solveRig(const std::vector<RigView>&, const RigInitial&, const RigSolveOptions&,
             RigSolution* solution) {
    solution->message = "the joint rig solve is not built yet";
    return -1;
}

int projectionSigmaMap(const RigSolution&, bool, double, cv::Size, cv::Mat*, std::string* message) {
    *message = "the joint rig solve is not built yet";
    return -1;
}
