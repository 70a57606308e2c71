#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lensrig_run.h"

namespace {
bool parse(const std::vector<std::string>& words, LensrigArgs* a) {
    std::vector<std::string> held = {"lensrig"};
    held.insert(held.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : held) argv.push_back(w.data());
    return parseLensrigArgs(static_cast<int>(argv.size()), argv.data(), a);
}
}  // namespace

// dist_mode becomes a lens model while the arguments are read; a number that names none is
// kept for the refusal that runLensrig prints after its echo.
TEST(LensrigArgs, ModeNumberBecomesTheLensModel) {
    struct Row {
        const char* mode;
        bool known;
        LensModel model;
    };
    const Row rows[] = {{"0", true, LensModel::kNone},
                        {"1", true, LensModel::kRational},
                        {"2", true, LensModel::kStandard},
                        {"3", false, LensModel::kNone},
                        {"-1", false, LensModel::kNone}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        LensrigArgs a;
        ASSERT_TRUE(parse({"-", "p/cam2D%03d.txt", "p/cam3D%03d.txt", "p/cam_true_num.txt", r.mode,
                           "param", "reproj", "50"},
                          &a));
        EXPECT_EQ(a.modeKnown, r.known);
        EXPECT_EQ(a.model, r.model);
        EXPECT_EQ(a.modeGiven, std::stoi(r.mode));
        EXPECT_EQ(a.iterations, 50);
    }
}

TEST(LensrigArgs, SizeOptionTakesTheOneGrammar) {
    LensrigArgs a;
    ASSERT_TRUE(parse({"--size", "640x480", "-", "a%03d", "b%03d", "t.txt", "2", "p", "r"}, &a));
    EXPECT_EQ(a.size, cv::Size(640, 480));
    EXPECT_EQ(a.iterations, kLensrigDefaultIterations);
    testing::internal::CaptureStderr();
    LensrigArgs b;
    EXPECT_FALSE(parse({"--size", "640 x480", "-", "a%03d", "b%03d", "t.txt", "2", "p", "r"}, &b));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("--size takes WxH"), std::string::npos);
}
