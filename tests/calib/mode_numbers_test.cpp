// Each program's lens-model number becomes a LensModel while its arguments are read; a
// number that names no model the program fits is kept for the refusal printed after the
// echo of the arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lensrig_run.h"
#include "lumenrig_run.h"

namespace {
std::vector<char*> argvOf(std::vector<std::string>* words) {
    std::vector<char*> argv;
    for (std::string& w : *words) argv.push_back(w.data());
    return argv;
}

// lensrig with its 7 positional arguments and an iteration limit of 50.
bool parseLensrig(const std::string& mode, LensrigArgs* a) {
    std::vector<std::string> w = {"lensrig", "-", "a%03d", "b%03d", "t.txt", mode, "p", "r", "50"};
    std::vector<char*> argv = argvOf(&w);
    return parseLensrigArgs(static_cast<int>(argv.size()), argv.data(), a);
}

// lumenrig with its 18 positional arguments: names (any text will do) and four sizes.
bool parseLumenrig(const std::string& mode, LumenrigArgs* a) {
    std::vector<std::string> w(19, "f%03d.txt");
    w[0] = "lumenrig";
    for (int size : {5, 6, 11, 12}) w[size] = "640";
    w[18] = mode;
    std::vector<char*> argv = argvOf(&w);
    return parseLumenrigArgs(static_cast<int>(argv.size()), argv.data(), a);
}
}  // namespace

TEST(LensrigLumenrigArgs, ModeNumberBecomesTheLensModel) {
    struct Row {
        bool lensrig;
        const char* mode;
        bool known;
        LensModel model;
    };
    const Row rows[] = {
        {true, "0", true, LensModel::kNone},      {true, "1", true, LensModel::kRational},
        {true, "2", true, LensModel::kStandard},  {true, "3", false, LensModel::kNone},
        {true, "-1", false, LensModel::kNone},    {false, "0", true, LensModel::kNone},
        {false, "1", true, LensModel::kStandard}, {false, "2", false, LensModel::kNone},
        {false, "-1", false, LensModel::kNone},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.lensrig ? "lensrig " : "lumenrig ") + r.mode);
        if (r.lensrig) {
            LensrigArgs a;
            ASSERT_TRUE(parseLensrig(r.mode, &a));
            EXPECT_EQ(a.modeKnown, r.known);
            EXPECT_EQ(a.model, r.model);
            EXPECT_EQ(a.modeGiven, std::stoi(r.mode));  // for the refusal's text
            EXPECT_EQ(a.iterations, 50);
        } else {
            LumenrigArgs a;
            ASSERT_TRUE(parseLumenrig(r.mode, &a));
            EXPECT_EQ(a.modeKnown, r.known);
            EXPECT_EQ(a.model, r.model);
            EXPECT_EQ(a.modeText, r.mode);  // echoed as given
        }
    }
}

TEST(LensrigLumenrigArgs, LensrigSizeOptionTakesTheOneGrammar) {
    for (const char* size : {"640x480", "640 x480", "+640x480"}) {
        SCOPED_TRACE(size);
        std::vector<std::string> w = {"lensrig", "--size", size, "-", "a%03d",
                                      "b%03d",   "t.txt",  "2",  "p", "r"};
        std::vector<char*> argv = argvOf(&w);
        LensrigArgs a;
        testing::internal::CaptureStderr();
        const bool parsed = parseLensrigArgs(static_cast<int>(argv.size()), argv.data(), &a);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(parsed, size == std::string("640x480"));
        if (parsed) {
            EXPECT_EQ(a.size, cv::Size(640, 480));
            EXPECT_EQ(a.iterations, kLensrigDefaultIterations);
        } else {
            EXPECT_NE(err.find("--size takes WxH"), std::string::npos) << err;
        }
    }
}
