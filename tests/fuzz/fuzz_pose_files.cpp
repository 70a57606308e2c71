// kinemix's pose-file and matrix-file readers, and the specstrings that use them.
#include "fuzz_support.h"
#include "pose_files.h"
#include "transform_string.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = inputFile(data, size);
    PoseParams p{};
    readPoseFile(path, &p);
    std::vector<double> values;
    readMatrixFile(path, &values);
    Transform t{};
    parseSpecString("hf:" + path, &t);
    parseSpecString("tm:" + path, &t);
    parseSpecString("gl:" + path, &t);
    return 0;
}
