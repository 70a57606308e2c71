#include "image_codecs.h"

#include <dlfcn.h>

#include <iostream>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <vector>

namespace {

using ReadFunction = cv::Mat (*)(const std::string&, int);
using WriteFunction = bool (*)(const std::string&, cv::InputArray, const std::vector<int>&);

struct Codecs {
    ReadFunction read = nullptr;
    WriteFunction write = nullptr;
};

// The symbols of cv::imread and cv::imwrite in the library's C++ ABI.
constexpr const char* kReadSymbol =
    "_ZN2cv6imreadERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEi";
constexpr const char* kWriteSymbol =
    "_ZN2cv7imwriteERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERKNS_11_"
    "InputArrayERKSt6vectorIiSaIiEE";

const Codecs& codecs() {
    static Codecs loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen(TOOLKIT_IMGCODECS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library) {
            loaded.read = reinterpret_cast<ReadFunction>(dlsym(library, kReadSymbol));
            loaded.write = reinterpret_cast<WriteFunction>(dlsym(library, kWriteSymbol));
        }
        if (!loaded.read || !loaded.write) {
            const char* why = dlerror();
            std::cerr << "cannot load OpenCV's image codecs (" << TOOLKIT_IMGCODECS_LIBRARY
                      << "): " << (why ? why : "cv::imread or cv::imwrite missing")
                      << "; reinstall the OpenCV libraries this program was built with"
                      << std::endl;
            loaded = Codecs{};
        }
    });
    return loaded;
}

}  // namespace

cv::Mat readImageWithOpenCv(const std::string& path) {
    const Codecs& c = codecs();
    if (!c.read) return cv::Mat();
    try {
        return c.read(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}

bool writeImageWithOpenCv(const std::string& path, const cv::Mat& image) {
    const Codecs& c = codecs();
    if (!c.write) return false;
    try {
        return c.write(path, image, std::vector<int>());
    } catch (const cv::Exception&) {
        return false;
    }
}
