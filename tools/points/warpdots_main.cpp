// warpdots: undistorts or distorts tagharvest's 2D point lists with lensrig's camera model.
#include "program_guard.h"
#include "warpdots_run.h"

int main(int argc, char** argv) {
    return runGuarded("warpdots", kWarpdotsError, [&] {
        WarpdotsArgs args;
        if (!parseWarpdotsArgs(argc, argv, &args))
            return args.modeUnreadable ? kWarpdotsError : kWarpdotsOk;
        return runWarpdots(args);
    });
}
