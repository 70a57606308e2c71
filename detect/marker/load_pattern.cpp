#include <cmath>
#include <cstdio>
#include <vector>

#include "engine_context.h"
#include "pattern_file.h"
#include "pattern_library.h"

namespace {
// Templates within this bound keep a 768-term dot product with a sample (each term
// at most 255 times the bound) inside 32 bits, so the 16-bit fast path is exact.
constexpr std::int32_t kFastTemplateLimit = 1024;

// No range test is applied to file values: arithmetic on them wraps around in 32 bits, as
// the matcher's sums do, instead of overflowing.
std::int32_t wrap32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// Inverts and reorders one orientation from file order [channel][row][column] into
// [row][column][channel], removes the integer mean and computes the norm.
void takeOrientation(const int* file, PatternSlot* slot, int orientation) {
    std::int32_t* t = slot->value[orientation];
    for (int channel = 0; channel < 3; ++channel) {
        for (int row = 0; row < kPatternSide; ++row) {
            for (int col = 0; col < kPatternSide; ++col) {
                const int v = file[(channel * kPatternSide + row) * kPatternSide + col];
                t[(row * kPatternSide + col) * 3 + channel] =
                    wrap32(255 - static_cast<std::int64_t>(v));
            }
        }
    }
    long long sum = 0;
    for (int k = 0; k < kPatternValues; ++k) sum += t[k];
    const std::int32_t mean = static_cast<std::int32_t>(sum / kPatternValues);
    // The squared sum is kept in 32 bits as the matcher's dot products are; unsigned
    // arithmetic makes out-of-range files wrap instead of overflowing.
    std::uint32_t squares = 0;
    for (int k = 0; k < kPatternValues; ++k) {
        t[k] = wrap32(static_cast<std::int64_t>(t[k]) - mean);
        squares += static_cast<std::uint32_t>(t[k]) * static_cast<std::uint32_t>(t[k]);
    }
    const double norm = std::sqrt(static_cast<double>(static_cast<std::int32_t>(squares)));
    slot->norm[orientation] = norm == 0.0 ? 0.0000001 : norm;
}
}  // namespace

int loadPattern(const char* path) {
    return loadPatternInto(&defaultEngine().patterns, path);
}

int loadPatternInto(PatternLibrary* library, const char* path) {
    PatternLibrary& lib = *library;
    if (lib.count >= kPatternSlots) return -1;
    if (static_cast<int>(lib.slot.size()) <= lib.count) lib.slot.resize(lib.count + 1);
    PatternSlot& slot = lib.slot[lib.count];
    std::vector<int> values(kPatternFileValues);
    const int status = readPatternFile(path, values.data());
    if (status == kPatternFileMissing) {
        std::printf("\"%s\" not found!!\n", path);
        return -1;
    }
    if (status != kPatternFileRead) {
        std::printf("Pattern Data read error!!\n");
        return -1;
    }
    constexpr int kOrientationValues = 3 * kPatternSide * kPatternSide;
    for (int orientation = 0; orientation < 4; ++orientation)
        takeOrientation(values.data() + orientation * kOrientationValues, &slot, orientation);
    slot.fitsInt16 = true;
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < kPatternValues; ++k) {
            const std::int32_t v = slot.value[o][k];
            if (v < -kFastTemplateLimit || v > kFastTemplateLimit) slot.fitsInt16 = false;
            slot.value16[o][k] = static_cast<std::int16_t>(v);
        }
    }
    slot.loaded = true;
    ++lib.changes;
    return lib.count++;
}

const PatternLibrary& patternLibrary() {
    return defaultEngine().patterns;
}

void clearPatternLibrary() {
    PatternLibrary& lib = defaultEngine().patterns;
    lib.count = 0;
    ++lib.changes;
    lib.slot.clear();
}
