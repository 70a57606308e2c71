#include "tagharvest_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "correspondence_files.h"
#include "detection_pass.h"
#include "detector_config.h"
#include "help_request.h"
#include "image_header.h"
#include "ordered_jobs.h"
#include "pattern_marker_table.h"
#include "run_state.h"

namespace {
// A photo's images (megabytes each) are freed and allocated again photo after photo: kept
// by the allocator rather than handed back to the system, their pages are not faulted in
// and zeroed by the kernel anew for every photo (a sixth of a run's time went there).
void keepFreedImageMemory() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest the allocator takes
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

// The smallest side of a photo that can show a marker (with its white rim) at all.
constexpr int kMinPhotoSide = 16;

// Creates the output folder and the report and image folders; a folder that cannot be
// created shows up later as files that cannot be written.
void createFolders(const RunState& state) {
    for (const std::string& dir :
         {state.config().points_output_file_name, state.infoFolder(), std::string("test")}) {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::create_directories(dir, ec);
        if (ec) std::cerr << "cannot create folder " << dir << ": " << ec.message() << std::endl;
    }
}

// Checks the series; the camera size comes from the first image that loads, which is
// kept for the detection pass. The other photos are decoded when their turn comes (or
// just before), so that few photos are held at a time.
// Returns false when none loads.
bool loadSeries(RunState* state) {
    const DetectorConfig& c = state->config();
    int sizeSource = -1, otherSize = 0;
    for (int i = c.first_num; i < c.first_num + c.image_num; ++i) {
        const std::string name = expandPattern(state->args.driver.Camera_img, i);
        const std::string tooLarge = imageTooLarge(name);
        if (!tooLarge.empty()) {
            std::cerr << tooLarge << " (image " << i << " counts as unusable)" << std::endl;
            continue;
        }
        // The first photo is decoded (its size with any orientation applied); for the
        // others the header's size will do, the pass decodes them anyway.
        int width = 0, height = 0;
        cv::Mat image;
        if (state->cameraWidth == 0 || !imageHeaderSize(name, &width, &height)) {
            image = loadSeriesImage(name);
            width = image.cols;
            height = image.rows;
        }
        if (width == 0 || (state->cameraWidth != 0 &&
                           (width != state->cameraWidth || height != state->cameraHeight))) {
            reportUnusablePhoto(std::cerr, name, i, cv::Size(width, height),
                                cv::Size(state->cameraWidth, state->cameraHeight));
            if (width != 0) ++otherSize;
            continue;
        }
        if (state->cameraWidth == 0) {
            state->cameraWidth = width;
            state->cameraHeight = height;
            sizeSource = i;
            state->firstPhoto = image;
            state->firstPhotoNumber = i;
        }
        state->readable.insert(i);
    }
    if (sizeSource < 0) return false;
    const std::string source = expandPattern(state->args.driver.Camera_img, sizeSource);
    // The series size comes from its first photo: a photo that cannot hold a marker would
    // make every other photo unusable.
    if (std::min(state->cameraWidth, state->cameraHeight) < kMinPhotoSide) {
        std::cerr << "tagharvest: image " << sizeSource << " (" << source << ") is "
                  << state->cameraWidth << " x " << state->cameraHeight
                  << ", too small to show a marker, and the series size is taken from it: "
                     "replace or leave out that photo"
                  << std::endl;
        throw TagharvestExit{kExitInputMissing};
    }
    if (otherSize > 0)
        std::cerr << "tagharvest: the series size " << state->cameraWidth << " x "
                  << state->cameraHeight << " comes from image " << sizeSource << " (" << source
                  << "); " << otherSize << " photo(s) of another size are unusable" << std::endl;
    return true;
}

// With --subpixel, photos whose longer side exceeds kLargestSearchSide are searched on a
// reduced copy: their markers would exceed the engine's region size and their noise its
// label budget. The corners are then refined on the full photo.
constexpr int kLargestSearchSide = 2048;

void chooseWorkScale(RunState* state) {
    const DetectorConfig& c = state->config();
    if (!c.subpixel) return;
    const int longer = std::max(state->cameraWidth, state->cameraHeight);
    state->workScale = c.detectScale > 0
                           ? c.detectScale
                           : std::min(1.0, static_cast<double>(kLargestSearchSide) / longer);
    if (state->workScale < 1.0)
        std::cout << "searching reduced copies (scale " << state->workScale << ", "
                  << std::lround(state->cameraWidth * state->workScale) << " x "
                  << std::lround(state->cameraHeight * state->workScale)
                  << "); corners refined on the full photos" << std::endl;
}

// Takes "--jobs N" (N from 1 to kMaxJobs) out of the options, which are what stands
// before the last kTagharvestArgCount arguments. Returns N, 0 when absent, -1 when malformed.
constexpr int kMaxJobs = 256;

int takeJobsOption(std::vector<char*>* args) {
    int jobs = 0;
    for (std::size_t i = 1; i + kTagharvestArgCount < args->size();) {
        if (std::string((*args)[i]) != "--jobs") {
            ++i;
            continue;
        }
        char* end = nullptr;
        const long n = std::strtol((*args)[i + 1], &end, 10);
        if (jobs != 0 || i + 1 + kTagharvestArgCount >= args->size() || *end != '\0' || n < 1 ||
            n > kMaxJobs)
            return -1;
        jobs = static_cast<int>(n);
        args->erase(args->begin() + static_cast<long>(i), args->begin() + static_cast<long>(i) + 2);
    }
    return jobs;
}

void printSummary(const RunState& state) {
    const DetectorConfig& c = state.config();
    std::cout << "\nUse image num : " << state.successList.size() << " / " << c.image_num
              << std::endl;
    for (int i = c.first_num; i < c.first_num + c.image_num; ++i) {
        std::cout << "\nImage num  " << i << " : ";
        bool usable = false;
        for (int n : state.successList) usable = usable || n == i;
        if (usable)
            std::cout << " OK (detect num " << state.detectCount.at(i) << ")";
        else
            std::cout << " NG ";
    }
    std::cout << std::endl;
}
}  // namespace

int runTagharvest(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        printUsage(std::cout);
        return 0;
    }
    const std::clock_t start = std::clock();
    std::vector<char*> args(argv, argv + argc);
    int jobs = takeJobsOption(&args);
    if (jobs < 0) {
        std::cerr << "tagharvest: --jobs needs a number of photos to work on at the same time, "
                     "from 1 to "
                  << kMaxJobs << std::endl;
        printUsage(std::cerr);
        return kExitUsage;
    }
    argc = static_cast<int>(args.size());
    argv = args.data();
    const bool subpixel = argc > 1 && std::string(argv[1]) == "--subpixel";
    if (subpixel) {
        ++argv;  // the positional arguments follow the options
        --argc;
    }
    double detectScale = 0;
    if (argc > 1 && std::string(argv[1]) == "--detect-scale") {
        char* end = nullptr;
        detectScale = argc > 2 ? std::strtod(argv[2], &end) : 0;
        if (!subpixel || argc < 3 || *end != '\0' || !(detectScale >= 0.05 && detectScale <= 1)) {
            std::cerr << "tagharvest: --detect-scale needs --subpixel before it and a reduction "
                         "from 0.05 to 1 after it"
                      << std::endl;
            printUsage(std::cerr);
            return kExitUsage;
        }
        argv += 2;
        argc -= 2;
    }
    // One job is the plain run; --subpixel uses every core unless told otherwise.
    if (jobs == 0) jobs = subpixel ? machineCores() : 1;
    if (argc != kTagharvestArgCount + 1) {
        printUsage(std::cerr);
        return kExitUsage;
    }
    keepFreedImageMemory();
    std::cout << "*** CONFIGURATION ***\n";
    RunState state;
    state.args = readTagharvestArgs(argv);
    state.args.config.subpixel = subpixel;
    state.args.config.detectScale = detectScale;
    printConfigurationEcho(state.args);
    const std::string problem = validateTagharvestArgs(state.args);
    if (!problem.empty()) {
        std::cerr << "tagharvest: " << problem << std::endl;
        printUsage(std::cerr);
        return kExitUsage;
    }
    try {
        std::cout << "read img" << std::endl;
        if (!loadSeries(&state)) {
            std::cerr << "tagharvest: none of the " << state.config().image_num << " images of "
                      << state.args.driver.Camera_img << " could be read" << std::endl;
            return kExitInputMissing;
        }
        chooseWorkScale(&state);
        startPhotoReader(&state);
        std::cout << "ARPat_img read" << std::endl;
        state.patternImage = loadSeriesImage(state.args.driver.Projection_img);
        if (state.patternImage.empty()) {
            std::cerr << "tagharvest: cannot read the pattern image "
                      << state.args.driver.Projection_img << std::endl;
            return kExitInputMissing;
        }
        createFolders(state);
        std::cout << "detect ARPat_img" << std::endl;
        buildPatternMarkerTable(&state);
        std::cout << "detect image 1st" << std::endl;
        runDetectionPass(&state, jobs);
        writeTrueNumberFile(&state);
        writeDropsFile(&state);
        finishImages(&state);
    } catch (const TagharvestExit& exit) {
        return exit.status;
    }
    printSummary(state);
    std::printf("%.2f sec elapsed \n", static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    std::fflush(stdout);
    if (!state.unwritten.empty()) {
        std::cerr << "tagharvest: " << state.unwritten.size() << " file(s) could not be written"
                  << std::endl;
        return kExitUnwritten;
    }
    return 0;
}
