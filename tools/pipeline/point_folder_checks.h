// The views of a points folder, checked before a calibration sees them: a repeated, missing
// or degenerate view is named in words instead of ending in a library assertion.
#pragma once

#include <string>
#include <vector>

#include "photo_series.h"

// The highest image number lensrig takes (its per-image tables hold 0..511).
constexpr int kMaxViewNumber = 511;

// "" when every view of a given points folder (relative to workDir; key names it) is listed
// once, numbered within 0..kMaxViewNumber, has its point files and can constrain a
// calibration; else the message naming the view and the fix.
std::string givenViewsProblem(const std::string& workDir, const std::string& folder,
                              const std::string& key, bool projector);

// The views tagharvest kept in folder (rigflow's own) that cannot constrain a calibration:
// removed from its true-number file and returned with the reason. Throws std::runtime_error
// when the file cannot be rewritten.
std::vector<DroppedView> leaveOutUnusableViews(const std::string& workDir,
                                               const std::string& folder, bool projector);
