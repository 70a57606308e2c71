// The pattern library: up to 150 marker pictures, each as four orientation templates
// prepared for normalised correlation.
//
// Template layout: [row 0..15][column 0..15][channel 0..2]; row 0 runs along the marker
// edge from corner 0 to corner 1, column 0 from corner 0 to corner 3; channel c pairs
// with byte c of an image pixel (blue, green, red).
#pragma once

#include <cstdint>
#include <vector>

constexpr int kPatternSlots = 150;
constexpr int kPatternSide = 16;
constexpr int kPatternValues = kPatternSide * kPatternSide * 3;  // 768 per orientation

struct PatternSlot {
    bool loaded = false;
    // 255 - file value, minus the template's integer mean.
    std::int32_t value[4][kPatternValues];
    // Copy for the fast dot product, valid when fitsInt16 (always for values 0..255).
    alignas(16) std::int16_t value16[4][kPatternValues];
    bool fitsInt16 = false;
    double norm[4];  // sqrt of the sum of squares; 0.0000001 for a flat template
};

struct PatternLibrary {
    int count = 0;    // loaded slots are 0 .. count-1
    int changes = 0;  // every load and clear counts one (what identification was made with)
    // Slots 0 .. count-1, grown as files load (kPatternSlots at most): a worker's copy of
    // the library holds what was loaded, not room for every slot.
    std::vector<PatternSlot> slot;
};

// Loads a pattern file (3072 integers: orientation, channel plane, row, column) into the
// next free slot and returns its id, or -1: all slots taken (silent), file missing
// ("\"PATH\" not found!!"), or fewer than 3072 integers ("Pattern Data read error!!").
int loadPattern(const char* path);

// The engine's library (read by identification).
const PatternLibrary& patternLibrary();

// Empties the library (all slots free, count 0). The programs never unload patterns;
// this exists so that tests can start from an empty library.
void clearPatternLibrary();
