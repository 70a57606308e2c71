// Byte-for-byte outputs of a default run on a fixed scene. The scene is checked in (the
// generator's random numbers differ between standard libraries): golden/input holds what
// "tagforge scene --views 2 --camera 640x480 --seed 11" wrote. Regenerate the golden files
// only deliberately: UPDATE_GOLDEN=1 ./harvest_tests --gtest_filter='Golden*'.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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
