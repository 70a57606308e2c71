#include "point_folder_checks.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "name_pattern.h"
#include "point_files.h"
#include "view_checks.h"

namespace fs = std::filesystem;

namespace {
std::string trueNumName(const std::string& folder, bool projector) {
    return folder + (projector ? "/proj_true_num.txt" : "/cam_true_num.txt");
}

std::string workPath(const std::string& workDir, const std::string& relative) {
    return (fs::path(workDir) / relative).string();
}

// "" or why view n cannot constrain a calibration; throws PointFileError for a missing or
// malformed file.
std::string viewReason(const std::string& workDir, const std::string& folder, int n,
                       bool projector) {
    const PointList2 image = loadPointFile2(
        workPath(workDir, numberedName(folder, projector ? "/proj2D" : "/cam2D", n, ".txt")));
    if (projector)
        return unusableViewReason(
            image, loadPointFile2(workPath(workDir, numberedName(folder, "/pattern", n, ".txt"))));
    return unusableViewReason(
        image, loadPointFile3(workPath(workDir, numberedName(folder, "/cam3D", n, ".txt"))));
}
}  // namespace

std::string givenViewsProblem(const std::string& workDir, const std::string& folder,
                              const std::string& key, bool projector) {
    const std::string list = trueNumName(folder, projector);
    const std::string is = key + ": " + list + ": ";
    std::vector<int> numbers;
    try {
        numbers = loadTrueNumbers(workPath(workDir, list));
    } catch (const PointFileError& e) {
        return is + e.what();
    }
    if (numbers.empty()) return is + "lists no view";
    const std::string repeated = duplicateViewReason(numbers);
    if (!repeated.empty())
        return is + repeated + ": list each view once (a repeated view is no new view)";
    for (int n : numbers)
        if (n < 0 || n > kMaxViewNumber)
            return is + "view " + std::to_string(n) + " is outside 0 to " +
                   std::to_string(kMaxViewNumber) +
                   ", the image numbers lensrig takes: renumber the views and their files";
    for (int n : numbers) {
        std::string reason;
        try {
            reason = viewReason(workDir, folder, n, projector);
        } catch (const PointFileError& e) {
            reason = e.what();
        }
        if (!reason.empty())
            return is + "view " + std::to_string(n) + ": " + reason +
                   ": fix its point files or remove it from the list";
    }
    return "";
}

std::vector<DroppedView> leaveOutUnusableViews(const std::string& workDir,
                                               const std::string& folder, bool projector) {
    const std::string list = workPath(workDir, trueNumName(folder, projector));
    std::vector<DroppedView> dropped;
    std::vector<int> kept;
    for (int n : loadTrueNumbers(list)) {
        std::string reason;
        try {
            reason = viewReason(workDir, folder, n, projector);
        } catch (const PointFileError& e) {
            reason = e.what();
        }
        if (reason.empty())
            kept.push_back(n);
        else
            dropped.push_back({n, reason + " in the " + (projector ? "projector" : "camera") +
                                      " photo's points"});
    }
    if (dropped.empty()) return dropped;
    std::ofstream out(list);
    for (int n : kept) out << n << "\n";
    out.close();
    if (out.fail()) throw std::runtime_error("cannot rewrite " + list);
    return dropped;
}
