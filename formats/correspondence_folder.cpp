#include "correspondence_folder.h"

#include <algorithm>

#include "name_pattern.h"

namespace {
constexpr const char* kExtension = ".txt";
}  // namespace

const char* trueNumberFileName(bool projector) {
    return projector ? "proj_true_num.txt" : "cam_true_num.txt";
}

std::string trueNumberFile(const std::string& folder, bool projector) {
    return folder + "/" + trueNumberFileName(projector);
}

const char* pointFilePrefix(PointFile kind) {
    static const char* const kPrefixes[] = {"/cam2D", "/cam3D", "/proj2D", "/pattern"};
    return kPrefixes[static_cast<int>(kind)];
}

std::string pointFile(const std::string& folder, PointFile kind, int n) {
    return numberedName(folder, pointFilePrefix(kind), n, kExtension);
}

std::string pointFilePattern(const std::string& folder, PointFile kind) {
    return escapePercent(folder) + pointFilePrefix(kind) + "%03d" + kExtension;
}

int pairedCameraView(const std::vector<int>& cameraNumbers, int n) {
    const auto view = std::find(cameraNumbers.begin(), cameraNumbers.end(), n);
    return view == cameraNumbers.end() ? -1 : static_cast<int>(view - cameraNumbers.begin());
}
