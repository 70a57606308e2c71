// tagforge: pattern files, boards, projected patterns and synthetic scenes.
#include "program_guard.h"
#include "tagforge_run.h"

int main(int argc, char** argv) {
    return runGuarded("tagforge", 2, [&] { return runTagforge(argc, argv); });
}
