// Pattern files read number for number as fscanf's %d reads them, odd files included.
#include "pattern_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {
// The reference: the loop the files were always read with.
int readWithScanf(const char* path, int* values) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kPatternFileMissing;
    for (int i = 0; i < kPatternFileValues; ++i)
        if (std::fscanf(file, "%d", &values[i]) != 1) {
            std::fclose(file);
            return kPatternFileShort;
        }
    std::fclose(file);
    return kPatternFileRead;
}

// kPatternFileValues - missing numbers 0 … 255 between separators, then tail.
std::string numbers(int missing, const std::string& separator, const std::string& tail) {
    std::string text;
    for (int i = 0; i + missing < kPatternFileValues; ++i)
        text += std::to_string(i % 256) + separator;
    return text + tail;
}
}  // namespace

TEST(PatternFile, ReadsWhatScanfReads) {
    TempDir dir;
    const std::string nul(1, '\0');
    const struct {
        const char* name;
        bool reads;  // all 3072 numbers
        std::string text;
    } cases[] = {
        {"as written", true, numbers(0, " ", "\n")},
        {"every blank (tab, CR LF, vertical tab, form feed)", true, numbers(0, "\t\r\n\v\f ", "")},
        {"leading blanks, no trailing newline", true, "  \n\t" + numbers(0, " ", "")},
        {"signs", true, "+7 -0 -12 " + numbers(3, " ", "")},
        {"more numbers than needed", true, numbers(0, " ", "1 2 3 junk")},
        {"a number glued to the end", true, numbers(1, " ", "42")},
        {"one number short", false, numbers(1, " ", "")},
        {"empty", false, ""},
        {"blanks only", false, " \n\n\t "},
        {"a lone minus", false, "-" + numbers(1, " ", "")},
        {"a sign before a blank", false, "- 5 " + numbers(1, " ", "")},
        {"letters after digits", false, "12abc " + numbers(1, " ", "")},
        {"decimal point", false, "1.5 " + numbers(1, " ", "")},
        {"hexadecimal", false, "0x10 " + numbers(1, " ", "")},
        {"a NUL byte", false, "3 " + nul + " " + numbers(2, " ", "")},
        {"above int", true, "99999999999 4294967297 " + numbers(2, " ", "")},
        {"below long", true, "-99999999999999999999 -2147483649 " + numbers(2, " ", "")},
        {"the long limits", true,
         "123456789012345678 -123456789012345678 9223372036854775807 -9223372036854775808 " +
             numbers(4, " ", "")},
        {"leading zeros", true, "000000000000000000000000255 " + numbers(1, " ", "")},
    };
    for (const auto& c : cases) {
        const std::string path = dir.path() + "/pat.00";
        std::ofstream(path, std::ios::binary) << c.text;
        std::vector<int> expected(kPatternFileValues, -7), actual(kPatternFileValues, -7);
        const int expectedStatus = readWithScanf(path.c_str(), expected.data());
        ASSERT_EQ(expectedStatus == kPatternFileRead, c.reads) << c.name;
        EXPECT_EQ(readPatternFile(path.c_str(), actual.data()), expectedStatus) << c.name;
        if (expectedStatus == kPatternFileRead) {
            EXPECT_EQ(actual, expected) << c.name;
        }
    }
    EXPECT_EQ(readPatternFile((dir.path() + "/absent").c_str(), std::vector<int>(3072).data()),
              kPatternFileMissing);
}

TEST(PatternFile, WrittenFilesReadBack) {
    TempDir dir;
    std::vector<int> values(kPatternFileValues), back(kPatternFileValues);
    for (int i = 0; i < kPatternFileValues; ++i) values[i] = (i * 37) % 256;
    const std::string path = patternFileName(dir.path(), 3);
    ASSERT_TRUE(writePatternFile(path, values.data()));
    ASSERT_EQ(readPatternFile(path.c_str(), back.data()), kPatternFileRead);
    EXPECT_EQ(back, values);
}
