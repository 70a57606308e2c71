#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumenrig_run.h"

// proj_dist_mode becomes the projector's lens model while the arguments are read; the text
// stays for the echo and for the refusal of a number that names no model lumenrig fits.
TEST(LumenrigArgs, ModeNumberBecomesTheProjectorModel) {
    struct Row {
        const char* mode;
        bool known;
        LensModel model;
    };
    const Row rows[] = {{"0", true, LensModel::kNone},
                        {"1", true, LensModel::kStandard},
                        {"2", false, LensModel::kNone},
                        {"-1", false, LensModel::kNone}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        std::vector<std::string> words = {"lumenrig",
                                          "c/cam_true_num.txt",
                                          "i%03d",
                                          "c/cam2D%03d.txt",
                                          "c/cam3D%03d.txt",
                                          "640",
                                          "480",
                                          "p/proj_true_num.txt",
                                          "j%03d",
                                          "p/proj2D%03d.txt",
                                          "p/pattern%03d.txt",
                                          "1024",
                                          "768",
                                          "R.txt",
                                          "T.txt",
                                          "F.txt",
                                          "K.txt",
                                          "d.txt",
                                          r.mode};
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        LumenrigArgs a;
        ASSERT_TRUE(parseLumenrigArgs(static_cast<int>(argv.size()), argv.data(), &a));
        EXPECT_EQ(a.modeKnown, r.known);
        EXPECT_EQ(a.model, r.model);
        EXPECT_EQ(a.modeText, r.mode);
    }
}
