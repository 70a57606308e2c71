#include "harvest_command.h"

#include <iomanip>
#include <sstream>

namespace {
// Full precision: the detector sees the board exactly as configured.
std::string number(double value) {
    std::ostringstream s;
    s << std::setprecision(15) << value;
    return s.str();
}
}  // namespace

std::vector<std::string> harvestCommandLine(const HarvestCommand& c) {
    std::vector<std::string> args;
    if (c.jobs > 0) args.insert(args.end(), {"--jobs", std::to_string(c.jobs)});
    if (c.subpixel) args.push_back("--subpixel");
    if (c.detectScale > 0) args.insert(args.end(), {"--detect-scale", number(c.detectScale)});
    args.insert(args.end(),
                {c.projection, c.cameraImages, std::to_string(c.first), std::to_string(c.count),
                 number(c.arThresh), std::to_string(c.threshFirst), std::to_string(c.adaptive),
                 std::to_string(c.interval), std::to_string(c.repeats), std::to_string(c.patterns),
                 number(c.markSize), number(c.spaceX), number(c.spaceY), number(c.centre),
                 std::to_string(c.rotation), std::to_string(c.mode), std::to_string(c.minimum),
                 c.output, c.marked});
    return args;
}
