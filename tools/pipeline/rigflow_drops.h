// The markers the detector dropped as untrustworthy, read from the drops.txt it writes in
// each points folder: one warning naming them.
#pragma once

#include <string>
#include <vector>

#include "drops_file.h"
#include "rigflow_stage.h"

// The drops of one detected series; series names it in the warning ("camera photo").
struct SeriesDrops {
    std::string series;
    std::vector<MarkerDrop> drops;
};

// The warning for the drops, a marker dropped twice in an image (by the sweep and the
// adaptive pass) counted once; logsFolder is where the detector's logs name each. False (and
// *finding untouched) when nothing was dropped.
bool droppedMarkersFinding(const std::vector<SeriesDrops>& series, const std::string& logsFolder,
                           Finding* finding);

// The warning for a detected series whose drops.txt is missing or malformed (error says how).
Finding unreadableDropsFinding(const std::string& series, const std::string& pointsFolder,
                               const std::string& error);

// Adds the warning for the run's detected series, and one for each series whose drops.txt
// cannot be read.
void noteDroppedMarkers(RigflowRun* run);
