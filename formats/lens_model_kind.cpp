#include "lens_model_kind.h"

namespace {
const LensModelTraits kModels[] = {
    {LensModel::kNone, "none", {}, kNoDistortionFlags},
    {LensModel::kStandard, "standard", {"k1", "k2", "p1", "p2", "k3"}, 0},
    {LensModel::kRational,
     "rational",
     {"k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6"},
     kCalibRationalModel},
};
}  // namespace

const LensModelTraits& lensModelTraits(LensModel model) {
    return kModels[static_cast<int>(model)];
}

bool lensModelFromName(const std::string& name, LensModel* model) {
    for (const LensModelTraits& t : kModels)
        if (name == t.name) {
            *model = t.model;
            return true;
        }
    return false;
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
