// Pattern files: ids, messages, template preparation.
#include "pattern_library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "test_support.h"

namespace {
// A pattern file whose value at (orientation, channel, row, column) is f(...).
template <typename F>
std::string patternText(F f, int dropLast = 0) {
    std::ostringstream out;
    int written = 0;
    for (int o = 0; o < 4; ++o)
        for (int ch = 0; ch < 3; ++ch)
            for (int r = 0; r < 16; ++r)
                for (int c = 0; c < 16; ++c)
                    if (written++ < 3072 - dropLast)
                        out << f(o, ch, r, c) << (c == 15 ? '\n' : ' ');
    return out.str();
}

int loadText(const TempDir& dir, const std::string& text) {
    writeFile(dir.file("p.pat"), text);
    return loadPattern(dir.file("p.pat").c_str());
}

class PatternLibraryTest : public testing::Test {
  protected:
    void SetUp() override { clearPatternLibrary(); }
    TempDir dir;
};
}  // namespace

TEST_F(PatternLibraryTest, IdsMessagesAndCapacity) {
    const std::string good =
        patternText([](int, int ch, int r, int c) { return (r * 16 + c + ch) % 256; });
    EXPECT_EQ(loadText(dir, good), 0);
    EXPECT_EQ(loadText(dir, good), 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(loadPattern(dir.file("missing.pat").c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\"" + dir.file("missing.pat") + "\" not found!!\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(loadText(dir, patternText([](int, int, int, int) { return 7; }, 1)), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Pattern Data read error!!\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(loadText(dir, good + "\n1 2 x"), 2) << "a failed load takes no slot";
    for (int id = 3; id < kPatternSlots; ++id) ASSERT_EQ(loadText(dir, good), id);
    EXPECT_EQ(loadText(dir, good), -1) << "the 151st load fails";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(patternLibrary().count, kPatternSlots);
}

TEST_F(PatternLibraryTest, ValuesAreInvertedMeanFreeAndReordered) {
    // Orientation 0: 0 everywhere except channel 2, row 1, column 3 at 255.
    const std::string text = patternText([](int o, int ch, int r, int c) {
        if (o == 1) return 100;  // flat orientation
        return (o == 0 && ch == 2 && r == 1 && c == 3) ? 255 : 0;
    });
    ASSERT_EQ(loadText(dir, text), 0);
    const PatternSlot& slot = patternLibrary().slot[0];
    // inverted: 255 everywhere but one 0; mean = (767 * 255) / 768 = 254
    EXPECT_EQ(slot.value[0][0], 1);
    EXPECT_EQ(slot.value[0][(1 * 16 + 3) * 3 + 2], -254);
    EXPECT_DOUBLE_EQ(slot.norm[0], std::sqrt(767.0 + 254.0 * 254.0));
    EXPECT_EQ(slot.norm[1], 0.0000001);
    for (int k = 0; k < kPatternValues; ++k) ASSERT_EQ(slot.value[1][k], 0);
}

TEST_F(PatternLibraryTest, ValuesBeyondTheIntRangeEndsWrapInsteadOfOverflowing) {
    // Found by fuzzing: 255 - INT_MIN overflowed. Such a file still loads (no range test).
    const std::string text =
        patternText([](int, int, int r, int c) { return r == 0 && c == 0 ? -2147483648LL : 7LL; });
    EXPECT_EQ(loadText(dir, text), 0);
}
