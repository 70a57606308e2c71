// loadPattern on arbitrary text, then matching a fixed sample against what was loaded.
#include "fuzz_support.h"
#include "identify_marker.h"
#include "pattern_library.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    clearPatternLibrary();
    if (loadPattern(inputFile(data, size).c_str()) < 0) return 0;
    std::uint8_t sample[kPatternValues];
    for (int k = 0; k < kPatternValues; ++k) sample[k] = static_cast<std::uint8_t>(k * 7);
    PatternMatch match{};
    matchPattern(sample, patternLibrary(), &match);
    return 0;
}
