#include "lens_model_kind.h"

#include <gtest/gtest.h>

// Every program's number for a model maps to the same model, and back.
TEST(LensModelKind, ProgramNumbersNamesAndCoefficientsAgree) {
    struct Row {
        LensModel model;
        const char* name;
        int coefficients;
        int lensrig;
        int lumenrig;
    };
    const Row rows[] = {{LensModel::kNone, "none", 0, 0, 0},
                        {LensModel::kStandard, "standard", 5, 2, 1},
                        {LensModel::kRational, "rational", 8, 1, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_STREQ(lensModelName(r.model), r.name);
        EXPECT_EQ(coefficientCount(r.model), r.coefficients);
        LensModel m = LensModel::kNone;
        ASSERT_TRUE(lensModelFromName(r.name, &m));
        EXPECT_EQ(m, r.model);
        EXPECT_EQ(lensrigMode(r.model), r.lensrig);
        ASSERT_TRUE(lensModelFromLensrigMode(r.lensrig, &m));
        EXPECT_EQ(m, r.model);
        EXPECT_EQ(lumenrigMode(r.model), r.lumenrig);
        if (r.lumenrig >= 0) {
            ASSERT_TRUE(lensModelFromLumenrigMode(r.lumenrig, &m));
            EXPECT_EQ(m, r.model);
        }
    }
    LensModel m = LensModel::kStandard;
    EXPECT_FALSE(lensModelFromName("Rational", &m));
    EXPECT_FALSE(lensModelFromLensrigMode(3, &m));
    EXPECT_FALSE(lensModelFromLumenrigMode(2, &m));
    EXPECT_FALSE(lensModelFromLumenrigMode(-1, &m));
    EXPECT_EQ(m, LensModel::kStandard);  // untouched on refusal
    EXPECT_EQ(lensModelTraits(LensModel::kNone).calibrationFlags, 232);
}
