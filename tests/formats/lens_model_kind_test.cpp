#include "lens_model_kind.h"

#include <gtest/gtest.h>

// Every program's number for a model maps to the same model, and back.
TEST(LensModelKind, ProgramNumbersNamesAndCoefficientsAgree) {
    struct Row {
        LensModel model;
        const char* name;
        int coefficients;
        int fitted;      // length of the fitted distortion vector
        int fileValues;  // values in a distortion file
        int lensrig;
        int lumenrig;
    };
    const Row rows[] = {{LensModel::kNone, "none", 0, 5, 4, 0, 0},
                        {LensModel::kStandard, "standard", 5, 5, 5, 2, 1},
                        {LensModel::kRational, "rational", 8, 8, 8, 1, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_STREQ(lensModelName(r.model), r.name);
        EXPECT_EQ(coefficientCount(r.model), r.coefficients);
        EXPECT_EQ(lensModelTraits(r.model).fittedCoefficients, r.fitted);
        EXPECT_EQ(distortionFileValues(r.model), r.fileValues);
        EXPECT_EQ(lensModelNamed(r.name, LensModel::kStandard), r.model);
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
    EXPECT_EQ(lensModelNamed("", LensModel::kStandard), LensModel::kStandard);
    EXPECT_EQ(lensModelNamed("pinhole", LensModel::kNone), LensModel::kNone);
}

// The fitted vector's entries are named in OpenCV's order; without a lens they are the
// standard model's five (all zero), and a model's own names begin that list.
TEST(LensModelKind, FittedCoefficientNamesFollowOpenCVsOrder) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(fittedCoefficientNames(LensModel::kNone), (Names{"k1", "k2", "p1", "p2", "k3"}));
    EXPECT_EQ(fittedCoefficientNames(LensModel::kStandard),
              lensModelTraits(LensModel::kStandard).coefficientNames);
    EXPECT_EQ(fittedCoefficientNames(LensModel::kRational),
              (Names{"k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6"}));
    EXPECT_TRUE(lensModelTraits(LensModel::kNone).coefficientNames.empty());
}
