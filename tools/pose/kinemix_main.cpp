// kinemix: composes, inverts and rescales rigid poses given on the command line.
#include "help_request.h"
#include "kinemix_run.h"
#include "program_guard.h"

int main(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        printKinemixUsage(argv[0]);
        return 0;
    }
    return runGuarded("kinemix", kKinemixFailure,
                      [&] { return runKinemix(parseKinemixArgs(argc, argv)); });
}
