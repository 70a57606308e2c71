// warpdots' camera-matrix and distortion readers.
#include <stdexcept>

#include "camera_files.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = inputFile(data, size);
    try {
        readCameraMatrix(path);
    } catch (const std::exception&) {
    }
    try {
        readDistortion(path);
    } catch (const std::exception&) {
    }
    return 0;
}
