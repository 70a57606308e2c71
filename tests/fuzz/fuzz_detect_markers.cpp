// detectMarkers on small fuzzed images with a fixed pattern library: labels, outlines,
// corners and sampling must stay inside their buffers.
#include <filesystem>

#include "camera_param.h"
#include "detect_markers.h"
#include "forge_outputs.h"
#include "fuzz_support.h"
#include "pattern_library.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    const std::string dir = "/tmp/toolkit-fuzz-patterns-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::vector<MarkerPicture> pictures;
    double worst = 0;
    std::string error;
    if (writePatternSet(dir, 8, 1, &pictures, &worst, &error))
        for (int i = 0; i < 8; ++i) loadPattern((dir + cv::format("/pat.%02d", i)).c_str());
    std::filesystem::remove_all(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int width = 3 + data[0] % 94, height = 3 + data[1] % 94, threshold = data[2];
    std::vector<unsigned char> image(static_cast<std::size_t>(width) * height * 4, 255);
    for (std::size_t i = 3; i < size && i - 3 < image.size(); ++i) image[i - 3] = data[i];
    setCameraParams(identityCameraParams(width, height));
    MarkerInfo* markers = nullptr;
    int count = 0;
    detectMarkers(image.data(), threshold, &markers, &count);
    return 0;
}
