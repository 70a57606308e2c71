#include "help_request.h"

#include <string>

bool asksForHelp(int argc, char** argv) {
    if (argc < 2) return false;
    const std::string first = argv[1];
    return first == "--help" || first == "-h";
}
