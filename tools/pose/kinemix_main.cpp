// kinemix: composes, inverts and rescales rigid poses given on the command line.
#include "help_request.h"
#include "kinemix_run.h"

int main(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        printKinemixUsage(argv[0]);
        return 0;
    }
    return runKinemix(parseKinemixArgs(argc, argv));
}
