// Choosing a lens model: held-out error on a synthetic series, and the refusal of an
// ill-conditioned rich model however well it fits.
#include "model_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>

#include "calib_fixture.h"

namespace {
ViewSet series(const cv::Mat& distortion, double noisePx) {
    const SyntheticCamera camera = testCamera(distortion);
    const SyntheticViews views = makeViews(camera, 8, 11);
    ViewSet set;
    set.image = projectViews(camera, views, noisePx, 12);
    set.board.assign(set.image.size(), views.board);
    for (std::size_t i = 0; i < set.image.size(); ++i) set.imageNumbers.push_back(int(i));
    return set;
}

ModelScore scored(const std::string& name, double heldOut, bool wellConditioned) {
    ModelScore s;
    EXPECT_TRUE(lensModelFromName(name, &s.candidate.model)) << name;
    s.heldOutRms = heldOut;
    s.condition.ok = wellConditioned;
    s.condition.reason = wellConditioned ? "" : "the radial terms cancel each other";
    return s;
}
}  // namespace

TEST(ModelChoice, RichModelMustBeWellConditionedAndTenPercentBetter) {
    struct Case {
        const char* name;
        double plain, rich;
        bool richConditioned;
        const char* chosen;
        const char* reason;
    };
    const Case cases[] = {
        {"clearly better", 0.50, 0.40, true, "rational", "lowers the held-out error"},
        {"slightly better", 0.50, 0.46, true, "standard", "does not lower the held-out error"},
        {"ill-conditioned however good", 0.50, 0.10, false, "standard", "ill-conditioned"},
        // inf <= 0.9 inf holds: without a figure the models are not compared.
        {"neither evaluated", INFINITY, INFINITY, true, "standard",
         "held-out error of the standard model could not be evaluated"},
        {"the rich one not evaluated", 0.50, INFINITY, true, "standard",
         "held-out error of the rational model could not be evaluated"},
        {"the plain one not evaluated", NAN, 0.40, true, "standard",
         "held-out error of the standard model could not be evaluated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ModelChoice got = chooseModel(scored("standard", c.plain, true),
                                            scored("rational", c.rich, c.richConditioned));
        EXPECT_STREQ(lensModelName(got.chosen), c.chosen);
        EXPECT_NE(got.reason.find(c.reason), std::string::npos) << got.reason;
        EXPECT_EQ(got.reason.find("inf px"), std::string::npos) << got.reason;
    }
}

TEST(ModelChoice, HeldOutErrorSeesTheMissingLens) {
    // A lens with distortion: the pinhole model fits it badly on held-out views, the standard
    // model at the noise level.
    const cv::Mat lens = (cv::Mat_<double>(1, 5) << -0.2, 0.08, 0.001, -0.002, 0);
    const ViewSet views = series(lens, 0.1);
    const LensCandidate none{LensModel::kNone, 30};
    const LensCandidate standard{LensModel::kStandard, 30};
    const ModelScore plain = scoreModel(views, cv::Size(640, 480), none);
    const ModelScore rich = scoreModel(views, cv::Size(640, 480), standard);
    EXPECT_GT(plain.heldOutRms, 1.0);
    EXPECT_LT(rich.heldOutRms, 0.2);
    EXPECT_GE(rich.heldOutRms, rich.fitRms * 0.9) << "held-out views are not fitted";
    EXPECT_TRUE(rich.condition.ok) << rich.condition.reason;
    EXPECT_EQ(chooseModel(plain, rich).chosen, LensModel::kStandard);
    // The model without distortion fits OpenCV's five coefficients held at zero.
    ASSERT_EQ(plain.distortion.cols, 5);
    EXPECT_EQ(cv::countNonZero(plain.distortion), 0);
    EXPECT_EQ(rich.distortion.cols, 5);
    EXPECT_NE(cv::countNonZero(rich.distortion), 0);
}

TEST(ModelChoice, AModelThatFoldsBeyondTheDataIsKeptWithItsValidRegion) {
    ModelScore beyond = scored("standard", 0.30, true);
    beyond.condition.wholeImage = false;
    beyond.condition.validRadius = 0.789;
    beyond.condition.dataRadius = 0.61;
    beyond.condition.limit = "the radial mapping folds at normalised radius 1.09";
    const ModelChoice kept = chooseModel(scored("none", 1.79, true), beyond);
    EXPECT_EQ(kept.chosen, LensModel::kStandard);
    EXPECT_NE(kept.reason.find("it holds out to normalised radius 0.789 (the data reach 0.61): "
                               "the radial mapping folds at normalised radius 1.09"),
              std::string::npos)
        << kept.reason;
    ModelScore inside = beyond;
    inside.condition.ok = false;
    inside.condition.reason =
        "the radial mapping folds at normalised radius 0.5, inside the "
        "observed points";
    const ModelChoice refused = chooseModel(scored("none", 1.79, true), inside);
    EXPECT_EQ(refused.chosen, LensModel::kNone);
    EXPECT_NE(refused.reason.find("ill-conditioned over the observed points"), std::string::npos)
        << refused.reason;
}

TEST(ModelChoice, EachModelFitsItsOwnCoefficients) {
    const cv::Mat lens = (cv::Mat_<double>(1, 5) << -0.2, 0.08, 0.001, -0.002, 0);
    const ViewSet views = series(lens, 0.1);
    const ModelScore rational = scoreModel(views, cv::Size(640, 480), {LensModel::kRational, 30});
    EXPECT_EQ(rational.distortion.cols, 8);
    EXPECT_EQ(fittedCoefficients(LensModel::kNone), 5);
    EXPECT_EQ(fittedCoefficients(LensModel::kStandard), 5);
    EXPECT_EQ(fittedCoefficients(LensModel::kRational), 8);
}
