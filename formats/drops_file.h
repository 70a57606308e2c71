// drops.txt: the markers a detection accepted and then dropped as untrustworthy, one line
// each, written by tagharvest beside its correspondences (in its points folder) so that
// other programs read them as data:
//   # image id reason error_px
//   3 17 board 4.213
// reason: "board" (it disagrees with where the other markers place it; error: the distance
// in px) or "edges" (with --subpixel, its edges are not straight; error: the largest
// deviation in px). A marker dropped twice in one image (by the sweep and the adaptive pass)
// has one line per drop.
#pragma once

#include <string>
#include <vector>

constexpr const char* kDropsFileName = "drops.txt";

struct MarkerDrop {
    int image = 0;
    int id = 0;
    std::string reason;  // "board" or "edges"
    double errorPx = 0;
};

// 0 / -1 (the file could not be written whole).
int writeMarkerDrops(const std::string& path, const std::vector<MarkerDrop>& drops);
// 0 / -1 (unreadable, or a line that is not four fields; *error says which line).
int readMarkerDrops(const std::string& path, std::vector<MarkerDrop>* drops, std::string* error);
