#include "drops_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

TEST(DropsFile, WrittenDropsReadBackAndTheTextIsAsDocumented) {
    TempDir dir;
    const std::string path = dir.path() + "/drops.txt";
    ASSERT_EQ(writeMarkerDrops(path, {{3, 17, "board", 4.2134}, {5, 9, "edges", 0.5}}), 0);
    EXPECT_EQ(readFile(path), "# image id reason error_px\n3 17 board 4.213\n5 9 edges 0.500\n");
    std::vector<MarkerDrop> drops;
    std::string error;
    ASSERT_EQ(readMarkerDrops(path, &drops, &error), 0) << error;
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[1].image, 5);
    EXPECT_EQ(drops[1].id, 9);
    EXPECT_EQ(drops[1].reason, "edges");
    EXPECT_DOUBLE_EQ(drops[0].errorPx, 4.213);
}

TEST(DropsFile, AMalformedLineOrMissingFileIsNamed) {
    TempDir dir;
    std::vector<MarkerDrop> drops;
    std::string error;
    EXPECT_EQ(readMarkerDrops(dir.path() + "/none.txt", &drops, &error), -1);
    EXPECT_NE(error.find("none.txt"), std::string::npos);
    for (const char* bad :
         {"3 17 board\n", "3 17 hands 1.0\n", "3 17 board 1.0 extra\n", "x 1 board 1\n"}) {
        SCOPED_TRACE(bad);
        std::ofstream(dir.path() + "/bad.txt") << "# image id reason error_px\n" << bad;
        EXPECT_EQ(readMarkerDrops(dir.path() + "/bad.txt", &drops, &error), -1);
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
    EXPECT_EQ(writeMarkerDrops(dir.path() + "/no/such/folder/drops.txt", {}), -1);
}
