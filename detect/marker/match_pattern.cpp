#include <cmath>

#include "identify_marker.h"

namespace {
// 768-term dot product in 16-bit lanes with 32-bit sums (the compiler turns it into
// multiply-add vector instructions); exact because both sides are bounded (see
// loadPattern). Built twice, the wider AVX2 version chosen at run time where the
// processor has it.
__attribute__((target_clones("avx2", "default"))) std::int32_t dot16(const std::int16_t* a,
                                                                     const std::int16_t* b) {
    std::int32_t sum = 0;
    for (int k = 0; k < kPatternValues; ++k) sum += static_cast<std::int32_t>(a[k]) * b[k];
    return sum;
}

// Any template: 32-bit wrap-around arithmetic, as the matcher's sums are 32-bit.
std::int32_t dot32(const std::int16_t* a, const std::int32_t* b) {
    std::uint32_t sum = 0;
    for (int k = 0; k < kPatternValues; ++k)
        sum += static_cast<std::uint32_t>(a[k]) * static_cast<std::uint32_t>(b[k]);
    return static_cast<std::int32_t>(sum);
}
}  // namespace

int matchPattern(const std::uint8_t sample[kPatternValues], const PatternLibrary& library,
                 PatternMatch* match) {
    alignas(16) std::int16_t input[kPatternValues];
    int sum = 0;
    for (int k = 0; k < kPatternValues; ++k) sum += 255 - sample[k];
    const int mean = sum / kPatternValues;
    int squares = 0;
    for (int k = 0; k < kPatternValues; ++k) {
        input[k] = static_cast<std::int16_t>(255 - sample[k] - mean);
        squares += input[k] * input[k];
    }
    const double inputNorm = std::sqrt(static_cast<double>(squares));
    if (inputNorm == 0.0) {
        *match = PatternMatch{0, 0, -1.0};
        return -1;
    }
    PatternMatch best{-1, -1, 0.0};
    for (int id = 0; id < library.count; ++id) {
        const PatternSlot& slot = library.slot[id];
        if (!slot.loaded) continue;
        for (int direction = 0; direction < 4; ++direction) {
            const std::int32_t dot = slot.fitsInt16 ? dot16(input, slot.value16[direction])
                                                    : dot32(input, slot.value[direction]);
            const double score = static_cast<double>(dot) / slot.norm[direction] / inputNorm;
            if (score > best.cf) best = PatternMatch{id, direction, score};
        }
    }
    *match = best;
    return 0;
}
