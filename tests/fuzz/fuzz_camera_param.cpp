// loadCameraParams on arbitrary bytes, then the operations that use a loaded record.
#include <cmath>

#include "camera_param.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = inputFile(data, size);
    CameraParam params[3];
    for (int n = 1; n <= 3; ++n) {
        if (loadCameraParams(path.c_str(), n, params) != 0) continue;
        if (params[0].width > 0 && params[0].height > 0) {
            const CameraParam scaled = scaleCameraParams(params[0], 640, 480);
            double x, y;
            observedToIdeal(scaled.distortion, 10.5, 20.25, &x, &y);
        }
    }
    return 0;
}
