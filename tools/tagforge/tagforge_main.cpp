// tagforge: pattern files, boards, projected patterns and synthetic scenes.
#include "tagforge_run.h"

int main(int argc, char** argv) {
    return runTagforge(argc, argv);
}
