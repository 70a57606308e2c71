// lensrig: calibrates the camera from tagharvest's camera-mode correspondences.
#include <iostream>

#include "help_request.h"
#include "lensrig_run.h"
#include "program_guard.h"

int main(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        printLensrigUsage(std::cout);
        return 0;
    }
    return runGuarded("lensrig", kLensrigError, [&] {
        LensrigArgs args;
        if (!parseLensrigArgs(argc, argv, &args)) return kLensrigError;
        return runLensrig(args);
    });
}
