#include "drops_file.h"

#include <fstream>
#include <iomanip>
#include <sstream>

int writeMarkerDrops(const std::string& path, const std::vector<MarkerDrop>& drops) {
    std::ofstream out(path);
    out << "# image id reason error_px\n";
    for (const MarkerDrop& d : drops)
        out << d.image << ' ' << d.id << ' ' << d.reason << ' ' << std::fixed
            << std::setprecision(3) << d.errorPx << '\n';
    out.close();
    return out.fail() ? -1 : 0;
}

int readMarkerDrops(const std::string& path, std::vector<MarkerDrop>* drops, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return -1;
    }
    drops->clear();
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        MarkerDrop d;
        std::string rest;
        if (!(fields >> d.image >> d.id >> d.reason >> d.errorPx) || (fields >> rest) ||
            (d.reason != "board" && d.reason != "edges")) {
            *error = path + " line " + std::to_string(lineNumber) + ": \"" + line +
                     "\" is not: image id board|edges error_px";
            return -1;
        }
        drops->push_back(d);
    }
    return 0;
}
