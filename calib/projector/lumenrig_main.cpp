// lumenrig: calibrates the projector as an inverse camera and the camera-projector pair.
#include <iostream>

#include "help_request.h"
#include "lumenrig_run.h"
#include "program_guard.h"

int main(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        printLumenrigUsage(std::cout);
        return 0;
    }
    return runGuarded("lumenrig", kLumenrigError, [&] {
        LumenrigArgs args;
        if (!parseLumenrigArgs(argc, argv, &args)) return kLumenrigError;
        return runLumenrig(args);
    });
}
