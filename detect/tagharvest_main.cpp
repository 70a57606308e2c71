// tagharvest: finds and identifies the board markers in a photo series and writes the
// 2D/3D (camera mode) or 2D/pattern (projector mode) correspondences.
#include "program_guard.h"
#include "tagharvest_run.h"

int main(int argc, char** argv) {
    return runGuarded("tagharvest", kExitInputMissing, [&] { return runTagharvest(argc, argv); });
}
