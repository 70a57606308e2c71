#include "kinemix_run.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "pose_algebra.h"
#include "pose_files.h"
#include "transform_string.h"

KinemixOptions parseKinemixArgs(int argc, char** argv) {
    KinemixOptions options;
    options.programName = argc > 0 ? argv[0] : "kinemix";
    optind = 0;  // GNU: full re-initialisation, POSIXLY_CORRECT is looked up again
    opterr = 1;
    int c;
    while ((c = getopt(argc, argv, "g:o:t:i:s:S:")) != -1) {
        switch (c) {
            case 't':
            case 'i':
            case 's':
            case 'S':
                options.steps.push_back({static_cast<char>(c), optarg});
                break;
            case 'o':
                options.hasOutputPose = true;
                options.outputPoseName = optarg;
                break;
            case 'g':
                options.hasGlMatrix = true;
                options.glMatrixName = optarg;
                break;
            default:
                options.parseError = true;
                break;
        }
    }
    options.strayWords = optind < argc;
    return options;
}

void printKinemixUsage(const std::string& programName) {
    std::cout << "Usage: " << programName << "[options...]\n"
              << "\trequired:\n"
              << "\t -t specstring: transformation\n"
              << "\t -i specstring: transformation to be inversed\n"
              << "\t -o file: output pose file\n"
              << "\toptional:\n"
              << "\t -s scale: scale translation\n"
              << "\t -S poseRef.txt,poseTrue.txt: scale so that the ratio that poseRed.txt "
                 "scaled to poseTrue.txt\n"
              << "\t -g file: output pose file for OpenGL 4x4 matrix\n"
              << "\tspecstring:\n"
              << "\t tr:x,y,z,angle : rotation by axis (x,y,z) angle in degree\n"
              << "\t tt:x,y,z : translation of (x,y,z)\n"
              << "\t hf:filename : (halcon)pose file\n"
              << "\t hp:x,y,z,alpha,beta,gamma : (halcon)pose parameters\n"
              << "\t tm:4x4 rigid transform matrix\n"
              << "\t gl:4x4 matrix : OpenGL Model-View Matrix(GL_MODELVIEW)\n"
              << "example: kinemix -i hf:outpose0.txt -t hf:pose.co.00.txt -o "
                 "projtocampose.txt -g gl_model_view_mat.txt\n"
              << std::flush;
}

namespace {
float translationLength(const PoseParams& p) {
    const float sum = p.tx * p.tx + p.ty * p.ty + p.tz * p.tz;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

// Reads one -S pose file; a short first line is reported here (readPoseFile itself
// reports only files it cannot open).
bool readScalePose(const std::string& name, PoseParams* params) {
    const int status = readPoseFile(name, params);
    if (status == kPoseFileShort)
        std::fprintf(stderr, "pose file %s: the first line does not hold six numbers\n",
                     name.c_str());
    return status == kPoseFileRead;
}

// -S ref,true: t <- (|t_true| / |t_ref|) * t. Returns false (pose unchanged) on failure.
bool scaleByPoseFiles(const std::string& argument, Transform* pose) {
    std::vector<std::string> names;
    std::istringstream pieces(argument);
    std::string piece;
    while (std::getline(pieces, piece, ',')) names.push_back(piece);
    if (!argument.empty() && argument.back() == ',') names.push_back("");
    if (names.size() < 2) {
        std::fprintf(stderr, "-S needs two pose files separated by a comma: %s\n",
                     argument.c_str());
        return false;
    }
    PoseParams reference{}, truth{};
    if (!readScalePose(names[0], &reference) || !readScalePose(names[1], &truth)) return false;
    const float lengthRef = translationLength(reference);
    if (!(lengthRef > 0.0f)) {
        std::fprintf(stderr, "-S: the translation of %s has length 0, cannot scale\n",
                     names[0].c_str());
        return false;
    }
    const float k = translationLength(truth) / lengthRef;
    std::cout << "scaling factor:" << k << std::endl;
    scaleTranslation(k, pose);
    return true;
}

bool applyStep(const PoseStep& step, Transform* pose) {
    switch (step.option) {
        case 't':
        case 'i': {
            Transform s;
            if (parseSpecString(step.argument, &s) != 0) return false;
            composeTransform(step.option == 'i' ? invertTransform(s) : s, pose);
            return true;
        }
        case 's': {
            double k = 0;
            if (!parseFinite(step.argument, &k)) {
                std::fprintf(stderr, "-s needs a finite number: %s\n", step.argument.c_str());
                return false;
            }
            scaleTranslation(toSingle(k), pose);
            return true;
        }
        default:
            return scaleByPoseFiles(step.argument, pose);
    }
}
}  // namespace

int runKinemix(const KinemixOptions& options) {
    Transform pose = identityTransform();
    bool failed = false;
    for (const PoseStep& step : options.steps)
        if (!applyStep(step, &pose)) failed = true;

    if (options.parseError || options.strayWords || !options.hasOutputPose) {
        printKinemixUsage(options.programName);
        return kKinemixUsage;
    }
    for (int i = 0; i < 3; ++i)
        for (float v : {pose.rot[i][0], pose.rot[i][1], pose.rot[i][2], pose.trans[i]})
            if (!std::isfinite(v)) {
                std::fprintf(stderr,
                             "the resulting pose is not finite (a value overflowed): nothing "
                             "written\n");
                return kKinemixFailure;
            }
    if (writePoseFile(matrixToPoseParams(pose), options.outputPoseName) != 0) failed = true;
    if (options.hasGlMatrix && writeGlMatrixFile(pose, options.glMatrixName) != 0) failed = true;
    return failed ? kKinemixFailure : kKinemixOk;
}
