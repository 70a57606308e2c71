// lensrig: calibrates the camera from tagharvest's camera-mode correspondences.
#include "lensrig_run.h"

int main(int argc, char** argv) {
    LensrigArgs args;
    if (!parseLensrigArgs(argc, argv, &args)) return kLensrigError;
    return runLensrig(args);
}
