#include "rigflow_drops.h"

#include <set>
#include <sstream>

namespace {
constexpr std::size_t kMaxNamedDrops = 8;

// The detected series' drops as the detector wrote them; none, and a warning, for a file that
// is missing or unreadable: the detector writes it on every run, so its drops are unknown.
SeriesDrops readSeriesDrops(RigflowRun* run, const std::string& series,
                            const std::string& pointsFolder) {
    SeriesDrops read{series, {}};
    std::string error;
    if (readMarkerDrops(inWorkDir(run->workDir, pointsFolder + "/" + kDropsFileName), &read.drops,
                        &error) != 0) {
        read.drops.clear();
        run->findings.push_back(unreadableDropsFinding(series, pointsFolder, error));
    }
    return read;
}
}  // namespace

Finding unreadableDropsFinding(const std::string& series, const std::string& pointsFolder,
                               const std::string& error) {
    return {false, "the " + series + " detection's dropped markers are unknown: " + error,
            "the detector writes " + pointsFolder + "/" + kDropsFileName +
                " on every run; a file changed or removed since, or a detector of another "
                "version, leaves it so: run rigflow again to detect afresh"};
}

bool droppedMarkersFinding(const std::vector<SeriesDrops>& series, const std::string& logsFolder,
                           Finding* finding) {
    int wrongPlace = 0, broken = 0;
    std::vector<std::string> named;
    std::set<std::string> seen;
    for (const SeriesDrops& s : series)
        for (const MarkerDrop& d : s.drops) {
            const std::string marker =
                s.series + " " + std::to_string(d.image) + " id " + std::to_string(d.id);
            if (!seen.insert(marker).second) continue;
            (d.reason == "edges" ? broken : wrongPlace)++;
            if (named.size() < kMaxNamedDrops) named.push_back(marker);
        }
    if (wrongPlace + broken == 0) return false;
    std::ostringstream what;
    what << "the detector dropped " << wrongPlace + broken << " marker(s) it could not trust ("
         << wrongPlace << " off their place on the board, " << broken << " with broken edges): ";
    for (std::size_t i = 0; i < named.size(); ++i) what << (i ? ", " : "") << named[i];
    if (static_cast<int>(named.size()) < wrongPlace + broken) what << ", …";
    *finding = {false, what.str(),
                "each is named with its reason in " + logsFolder +
                    "/tagharvest_*.log; hands, stray printouts or reflections over the board "
                    "cause them: harmless when few, else retake those photos"};
    return true;
}

void noteDroppedMarkers(RigflowRun* run) {
    std::vector<SeriesDrops> series;
    if (run->plan.detectCamera)
        series.push_back(readSeriesDrops(run, "camera photo", run->layout.pointsCam));
    if (run->plan.detectProjector)
        series.push_back(readSeriesDrops(run, "projector photo", run->layout.pointsProj));
    Finding finding{};
    if (droppedMarkersFinding(series, run->layout.logs, &finding)) run->findings.push_back(finding);
}
