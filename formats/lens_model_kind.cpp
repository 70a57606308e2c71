#include "lens_model_kind.h"

#include <array>

namespace {
// Built on first use, so that other files' static constants may already ask for it.
const std::array<LensModelTraits, 3>& models() {
    static const std::array<LensModelTraits, 3> kModels = {{
        {LensModel::kNone, "none", {}, 5, kNoDistortionFlags},
        {LensModel::kStandard, "standard", {"k1", "k2", "p1", "p2", "k3"}, 5, 0},
        {LensModel::kRational,
         "rational",
         {"k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6"},
         8,
         kCalibRationalModel},
    }};
    return kModels;
}
}  // namespace

const LensModelTraits& lensModelTraits(LensModel model) {
    return models()[static_cast<int>(model)];
}

bool lensModelFromName(const std::string& name, LensModel* model) {
    for (const LensModelTraits& t : models())
        if (name == t.name) {
            *model = t.model;
            return true;
        }
    return false;
}

std::vector<std::string> fittedCoefficientNames(LensModel model) {
    // Every model's coefficients begin the rational model's list.
    const std::vector<std::string>& all = lensModelTraits(LensModel::kRational).coefficientNames;
    return {all.begin(), all.begin() + lensModelTraits(model).fittedCoefficients};
}

int distortionFileValues(LensModel model) {
    return model == LensModel::kNone ? 4 : lensModelTraits(model).fittedCoefficients;
}

LensModel lensModelNamed(const std::string& name, LensModel otherwise) {
    LensModel model = otherwise;
    lensModelFromName(name, &model);
    return model;
}

bool lensModelFromLensrigMode(int mode, LensModel* model) {
    static const LensModel kByMode[] = {LensModel::kNone, LensModel::kRational,
                                        LensModel::kStandard};
    if (mode < 0 || mode > 2) return false;
    *model = kByMode[mode];
    return true;
}

int lensrigMode(LensModel model) {
    return model == LensModel::kRational ? 1 : model == LensModel::kStandard ? 2 : 0;
}

bool lensModelFromLumenrigMode(int mode, LensModel* model) {
    if (mode != 0 && mode != 1) return false;
    *model = mode == 1 ? LensModel::kStandard : LensModel::kNone;
    return true;
}

int lumenrigMode(LensModel model) {
    return model == LensModel::kStandard ? 1 : model == LensModel::kNone ? 0 : -1;
}
