#include "correspondence_folder.h"

#include <algorithm>

#include "name_pattern.h"

namespace {
constexpr const char* kExtension = ".txt";

// The name's part before the number.
std::string prefix(PointFile kind) {
    static const char* const kPrefixes[] = {"cam2D", "cam3D", "proj2D", "pattern"};
    return kPrefixes[static_cast<int>(kind)];
}
}  // namespace

const char* trueNumberFileName(bool projector) {
    return projector ? "proj_true_num.txt" : "cam_true_num.txt";
}

std::string trueNumberFile(const std::string& folder, bool projector) {
    return folder + "/" + trueNumberFileName(projector);
}

std::string pointFile(const std::string& folder, PointFile kind, int n) {
    return numberedName(folder, "/" + prefix(kind), n, kExtension);
}

std::string pointFilePattern(const std::string& folder, PointFile kind) {
    return escapePercent(folder) + "/" + pointFileNamePattern(kind);
}

std::string pointFileNamePattern(PointFile kind) {
    return prefix(kind) + "%03d" + kExtension;
}

int pairedCameraView(const std::vector<int>& cameraNumbers, int n) {
    const auto view = std::find(cameraNumbers.begin(), cameraNumbers.end(), n);
    return view == cameraNumbers.end() ? -1 : static_cast<int>(view - cameraNumbers.begin());
}
