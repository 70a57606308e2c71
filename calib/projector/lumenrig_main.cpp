// lumenrig: calibrates the projector as an inverse camera and the camera-projector pair.
#include "lumenrig_run.h"

int main(int argc, char** argv) {
    LumenrigArgs args;
    if (!parseLumenrigArgs(argc, argv, &args)) return kLumenrigError;
    return runLumenrig(args);
}
