// "--help" or "-h" as the first argument: every program then prints its usage on stdout
// and exits 0; its usage for wrong arguments stays as it is.
#pragma once

bool asksForHelp(int argc, char** argv);
