#include "lensrig_run.h"

#include <iostream>

#include "image_size.h"
#include "leading_number.h"
#include "lensrig_fit.h"
#include "lensrig_outputs.h"
#include "name_pattern.h"
#include "point_files.h"

void printLensrigUsage(std::ostream& out) {
    out << "Usage: lensrig [--size WxH] [--results FILE] image_pattern 2d_point_pattern "
           "3d_point_pattern true_num_file mode param_folder reproj_folder [iterations]\n"
           "  mode 0: no lens distortion; 1: rational lens model (k1..k6, p1, p2);\n"
           "  2: standard lens model (k1 k2 p1 p2 k3)\n"
           "  --size WxH: the image size, needed when there are no photos (image_pattern -)\n"
           "  --results FILE: every result at full precision, OpenCV YAML\n"
           "  exit status 3: the files written do not reproduce the fit\n"
           "  example: lensrig img/cam%03d.png pts/cam2D%03d.txt pts/cam3D%03d.txt "
           "pts/cam_true_num.txt "
           "2 param reproj 100\n";
}

bool parseLensrigArgs(int argc, char** argv, LensrigArgs* a) {
    int first = 1;  // first positional argument
    bool optionsOk = true;
    while (first < argc && optionsOk) {
        const std::string option = argv[first];
        if (option == "--size" && first + 1 < argc) {
            optionsOk = parseImageSize(argv[first + 1], &a->size.width, &a->size.height);
            if (!optionsOk) std::cerr << "lensrig: --size takes WxH, e.g. 1280x960\n";
        } else if (option == "--results" && first + 1 < argc) {
            a->resultsName = argv[first + 1];
        } else {
            break;
        }
        first += 2;
    }
    argc -= first - 1;
    argv += first - 1;
    if (!optionsOk || (argc != 8 && argc != 9)) {
        printLensrigUsage(std::cerr);
        return false;
    }
    a->imagePattern = argv[1];
    a->pattern2d = argv[2];
    a->pattern3d = argv[3];
    a->trueNumName = argv[4];
    a->paramFolder = argv[6];
    a->reprojFolder = argv[7];
    a->iterations = kLensrigDefaultIterations;
    // Whole numbers only: "abc" or "1abc" is a mistake, not mode 0 or 1.
    if (!wholeInt(argv[5], &a->modeGiven) || (argc > 8 && !wholeInt(argv[8], &a->iterations))) {
        std::cerr << "lensrig: mode and iterations must be whole numbers, not "
                  << (argc > 8 ? std::string(argv[5]) + " and " + argv[8] : argv[5]) << "\n";
        printLensrigUsage(std::cerr);
        return false;
    }
    a->modeKnown = lensModelFromLensrigMode(a->modeGiven, &a->model);
    return true;
}

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
