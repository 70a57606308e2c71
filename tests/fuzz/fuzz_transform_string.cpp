// parseSpecString on arbitrary text (file kinds excluded: they are fuzzed with files).
#include <string>

#include "fuzz_support.h"
#include "pose_files.h"
#include "transform_string.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.rfind("hf:", 0) == 0 || text.rfind("tm:", 0) == 0 || text.rfind("gl:", 0) == 0)
        return 0;
    Transform t = identityTransform();
    if (parseSpecString(text, &t) == 0) {
        Transform pose = identityTransform();
        composeTransform(invertTransform(t), &pose);
        matrixToPoseParams(pose);
    }
    return 0;
}
