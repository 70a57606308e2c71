// kinemix: composes, inverts and rescales rigid poses given on the command line.
#include "kinemix_run.h"

int main(int argc, char** argv) {
    return runKinemix(parseKinemixArgs(argc, argv));
}
