// Numbers and image headers from outside: whole tokens only, and no header size that
// overflows or is negative passes the pixel limit.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

#include "image_header.h"
#include "leading_number.h"
#include "test_support.h"

TEST(WholeNumbers, OnlyAWholeTokenIsANumber) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case ints[] = {{"0", true, 0},           {" 2 ", true, 2},
                         {"-7", true, -7},         {"1abc", false, 0},
                         {"abc", false, 0},        {"nan", false, 0},
                         {"", false, 0},           {"1.5", false, 0},
                         {"2147483648", false, 0}, {"-2147483648", true, INT_MIN}};
    for (const Case& c : ints) {
        int v = 12345;
        EXPECT_EQ(wholeInt(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 12345) << c.text;
    }
    double d = 0;
    EXPECT_TRUE(wholeFiniteDouble("30", &d));
    EXPECT_EQ(d, 30);
    EXPECT_TRUE(wholeFiniteDouble("-2.5e1", &d));
    EXPECT_EQ(d, -25);
    for (const char* bad : {"nan", "inf", "-inf", "1e999", "30mm", "", " "})
        EXPECT_FALSE(wholeFiniteDouble(bad, &d)) << bad;
}

namespace {
// The first 26 bytes of a BMP file: magic, then width and height as little-endian int32.
std::string bmpHeader(std::int32_t width, std::int32_t height) {
    std::string h(26, '\0');
    h[0] = 'B';
    h[1] = 'M';
    for (int i = 0; i < 4; ++i) {
        h[18 + i] = static_cast<char>((static_cast<std::uint32_t>(width) >> (8 * i)) & 0xff);
        h[22 + i] = static_cast<char>((static_cast<std::uint32_t>(height) >> (8 * i)) & 0xff);
    }
    return h;
}
}  // namespace

TEST(ImageHeader, BmpHeightsOfEverySignAndNegativeWidthsAreSafe) {
    TempDir dir;
    struct Case {
        const char* name;
        std::int32_t width, height;
        const char* tooLarge;  // "" when within the limit
    };
    const Case cases[] = {
        {"bottom-up", 640, 480, ""},
        {"top-down", 640, -480, ""},
        {"height INT_MIN", 640, INT32_MIN, "megapixels, above the limit"},
        {"height INT_MAX", 640, INT32_MAX, "megapixels, above the limit"},
        {"negative width", -640, 480, "has a header with a negative size, -640 x 480"},
        {"both extreme", INT32_MIN, INT32_MIN, "negative size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("p.bmp"), bmpHeader(c.width, c.height));
        int w = 0, h = 0;
        ASSERT_TRUE(imageHeaderSize(dir.file("p.bmp"), &w, &h));
        EXPECT_GE(h, 0);
        const std::string reason = imageTooLarge(dir.file("p.bmp"));
        if (*c.tooLarge == '\0')
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(c.tooLarge), std::string::npos) << reason;
    }
}
