#include "lensrig_run.h"

#include <iostream>

#include "lensrig_fit.h"
#include "lensrig_outputs.h"
#include "name_pattern.h"
#include "point_files.h"

int runLensrig(const LensrigArgs& args) {
    LensrigState s;
    s.args = args;
    std::cout << "image name : " << args.imagePattern << std::endl;
    std::cout << "2d point name : " << args.pattern2d << std::endl;
    std::cout << "3d point name :" << args.pattern3d << std::endl;
    std::cout << "true name file name : " << args.trueNumName << std::endl;
    std::cout << "param folder name :" << args.paramFolder << std::endl;
    std::cout << "reproj folder name : " << args.reprojFolder << std::endl;
    try {
        if (!args.modeKnown) {
            std::cerr << "lensrig: mode must be 0 (no lens distortion), 1 (rational lens model) or "
                         "2 (standard lens model), not "
                      << args.modeGiven << std::endl;
            return kLensrigError;
        }
        if (args.imagePattern == kNoPhotos && args.size.width == 0) {
            std::cerr << "lensrig: without photos (image pattern -) the image size must be given "
                         "with --size WxH"
                      << std::endl;
            return kLensrigError;
        }
        if (args.model != LensModel::kNone && args.iterations < 1) {
            std::cerr << "lensrig: the iteration limit must be at least 1" << std::endl;
            return kLensrigError;
        }
        checkNamePattern(args.imagePattern, "the image pattern");
        checkNamePattern(args.pattern2d, "the 2D point pattern");
        checkNamePattern(args.pattern3d, "the 3D point pattern");
        loadCorrespondences(args.trueNumName, args.pattern2d, args.pattern3d, &s.data);
        if (s.data.trueNum.empty())
            throw PointFileError(args.trueNumName + " lists no image: nothing to calibrate");
        checkViews(s);
        loadImages(&s);
        checkImageSize(s);
        calibrate(&s);
        writePoseFiles(&s);
        computeErrors(&s);
        writeReprojectionImages(&s);
        writeSummaryFiles(&s);
        if (!s.args.resultsName.empty()) writeResults(&s);
        warnIfIllConditioned(s);
        if (s.unwritten.empty() && !writtenLensReproducesFit(s)) return kLensrigNotReproduced;
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kLensrigError;
    }
    if (!s.unwritten.empty()) {
        std::cerr << "lensrig: " << s.unwritten.size() << " file(s) could not be written"
                  << std::endl;
        return kLensrigUnwritten;
    }
    return kLensrigOk;
}
