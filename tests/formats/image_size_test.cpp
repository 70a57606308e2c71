#include "image_size.h"

#include <gtest/gtest.h>

// The one "WxH" grammar of the command lines and rigflow.cfg: digits, 'x', digits.
TEST(FormatsImageSize, AcceptsOnlyDigitsAroundOneX) {
    struct Row {
        const char* text;
        bool accepted;
        int width, height;
    };
    const Row rows[] = {
        {"1280x960", true, 1280, 960},
        {"1x1", true, 1, 1},
        {"100000x100000", true, 100000, 100000},
        {"0640x480", true, 640, 480},  // a leading zero is still a number
        {"100001x10", false, 0, 0},    // wider than any camera or projector
        {"0x480", false, 0, 0},
        {"640x0", false, 0, 0},
        {"1234567x10", false, 0, 0},  // seven digits
        {"640X480", false, 0, 0},
        {"640*480", false, 0, 0},
        {"640x", false, 0, 0},
        {"x480", false, 0, 0},
        {"640", false, 0, 0},
        {"", false, 0, 0},
        {"640x480x3", false, 0, 0},
        {"640x480 ", false, 0, 0},
        {" 640x480", false, 0, 0},
        {"640x 480", false, 0, 0},
        {"+640x480", false, 0, 0},
        {"-640x480", false, 0, 0},
        {"640x+480", false, 0, 0},
        {"640.5x480", false, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        int width = -7, height = -7;
        EXPECT_EQ(parseImageSize(r.text, &width, &height), r.accepted);
        EXPECT_EQ(width, r.accepted ? r.width : -7);  // untouched when refused
        EXPECT_EQ(height, r.accepted ? r.height : -7);
    }
}
