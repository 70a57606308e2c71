// The programs' command-line handling: the input, split at NUL bytes, is the argument list
// of each program's parser (nothing is run that would read or write files), and every
// file-name pattern the checks let through is expanded.
#include <vector>

#include "detector_config.h"
#include "fuzz_support.h"
#include "kinemix_run.h"
#include "lensrig_run.h"
#include "lumenrig_run.h"
#include "name_pattern.h"
#include "warpdots_run.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();  // (the usage texts on stderr stay in the log)
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words = {"program"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    parseKinemixArgs(argc, argv.data());
    LensrigArgs lensrig;
    parseLensrigArgs(argc, argv.data(), &lensrig);
    LumenrigArgs lumenrig;
    parseLumenrigArgs(argc, argv.data(), &lumenrig);
    WarpdotsArgs warpdots;
    parseWarpdotsArgs(argc, argv.data(), &warpdots);
    if (argc == kTagharvestArgCount + 1) {
        const TagharvestArgs args = readTagharvestArgs(argv.data());
        if (validateTagharvestArgs(args).empty()) {
            expandPattern(args.driver.Camera_img, args.config.first_num);
            expandPattern(args.config.marked_image_name,
                          args.config.first_num + args.config.image_num - 1);
        }
    }
    for (const std::string& w : words)
        if (countIntegerConversions(w) >= 0 && countIntegerConversions(w) <= 1)
            expandPattern(w, -2147483647 - 1);
    return 0;
}
