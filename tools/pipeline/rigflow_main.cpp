// rigflow: the whole calibration in one command.
#include "program_guard.h"
#include "rigflow_run.h"

int main(int argc, char** argv) {
    return runGuarded("rigflow", kRigflowStepFailed, [&] {
        RigflowOptions options;
        int status = 0;
        if (!parseRigflowArgs(argc, argv, &options, &status)) return status;
        return runRigflow(options);
    });
}
