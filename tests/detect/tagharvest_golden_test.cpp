// Byte-for-byte outputs of a default run on a fixed scene. The scene is checked in (the
// generator's random numbers differ between standard libraries): golden/input holds what
// "tagforge scene --views 2 --camera 640x480 --seed 11" wrote. Regenerate the golden files
// only deliberately: UPDATE_GOLDEN=1 ./harvest_tests --gtest_filter='Golden*'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "harvest_fixture.h"

#ifndef GOLDEN_DIR
#error "GOLDEN_DIR must name the folder of the golden files"
#endif

TEST(GoldenHarvest, DefaultOutputsAreUnchanged) {
    TempDir dir;
    std::filesystem::copy(std::string(GOLDEN_DIR) + "/input", dir.file("scene"),
                          std::filesystem::copy_options::recursive);
    prepareWorkDir(dir.file("scene"), dir.path());
    HarvestArgs a;
    a.projection = dir.file("scene/projection.png");
    a.cameraImages = dir.file("scene/images/cam%03d.png");
    a.count = 2;
    const ProgramResult r = runHarvest(a, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const bool update = std::getenv("UPDATE_GOLDEN") != nullptr;
    for (const char* name : {"points/cam2D000.txt", "points/cam2D001.txt", "points/cam3D001.txt",
                             "points/cam_true_num.txt", "info/cam/camera_AR_2Dinfo.txt",
                             "info/cam/detect_camAR.txt", "info/cam/adaptive_AR_2Dinfo000.txt"}) {
        std::string flat = name;
        for (char& ch : flat)
            if (ch == '/') ch = '_';
        const std::string golden = std::string(GOLDEN_DIR) + "/" + flat;
        if (update) writeFile(golden, readFile(dir.file(name)));
        // a file missing on both sides would compare equal
        ASSERT_TRUE(fileExists(dir.file(name))) << name;
        ASSERT_TRUE(fileExists(golden)) << golden;
        EXPECT_EQ(readFile(dir.file(name)), readFile(golden)) << name;
    }
}

namespace {
// "path W x H digest" for every PNG under dir/test, the digest (FNV-1a, 64 bits) of the
// decoded pixels: the encoder may change the bytes, never the pixels.
std::string imageDigests(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/test"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        const cv::Mat image = cv::imread(dir + "/test/" + name, cv::IMREAD_UNCHANGED);
        std::uint64_t h = 1469598103934665603ull;
        for (int y = 0; y < image.rows; ++y)
            for (std::size_t b = 0; b < image.cols * image.elemSize(); ++b)
                h = (h ^ image.ptr<unsigned char>(y)[b]) * 1099511628211ull;
        char line[160];
        std::snprintf(line, sizeof line, "%s %d x %d x %d %016llx\n", name.c_str(), image.cols,
                      image.rows, image.channels(), static_cast<unsigned long long>(h));
        text += line;
    }
    return text;
}
}  // namespace

// The images (marked, detect, homography views) pixel for pixel, in both modes.
TEST(GoldenHarvest, ImagePixelsAreUnchanged) {
    struct Case {
        const char* name;  // of the golden file
        bool subpixel;
        double detectScale;
        int mode;
        double centre;
    };
    const Case cases[] = {{"images_default.txt", false, 0, 0, 0},
                          {"images_subpixel.txt", true, 0, 0, 0},
                          {"images_subpixel_reduced.txt", true, 0.7, 0, 0},
                          {"images_subpixel_projector.txt", true, 0, 1, 1}};
    const bool update = std::getenv("UPDATE_GOLDEN") != nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::filesystem::copy(std::string(GOLDEN_DIR) + "/input", dir.file("scene"),
                              std::filesystem::copy_options::recursive);
        prepareWorkDir(dir.file("scene"), dir.path());
        HarvestArgs a;
        a.jobs = 1;
        a.subpixel = c.subpixel;
        a.detectScale = c.detectScale;
        a.projection = dir.file("scene/projection.png");
        a.cameraImages =
            dir.file(c.mode == 1 ? "scene/images/proj%03d.png" : "scene/images/cam%03d.png");
        a.count = 2;
        a.mode = c.mode;
        a.centre = c.centre;
        const ProgramResult r = runHarvest(a, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string digests = imageDigests(dir.path());
        const std::string golden = std::string(GOLDEN_DIR) + "/" + c.name;
        if (update) writeFile(golden, digests);
        ASSERT_TRUE(fileExists(golden)) << golden;
        // a marked image, a detect image and a homography view per photo
        EXPECT_GE(splitLines(digests).size(), 4u) << digests;
        EXPECT_EQ(digests, readFile(golden));
    }
}
