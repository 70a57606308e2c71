#include "tagforge_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "board_layout.h"
#include "board_page.h"
#include "board_svg.h"
#include "forge_outputs.h"
#include "image_size.h"
#include "scene.h"

namespace {
constexpr int kUsageError = 1;
constexpr int kWorkFailed = 2;

// One option: its name, a help line and the parser that stores its value.
struct Option {
    std::string name;
    std::string help;
    std::function<bool(const std::string&)> set;
};

std::function<bool(const std::string&)> intOption(int* target, int lo, int hi) {
    return [=](const std::string& s) {
        char* end = nullptr;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || v < lo || v > hi) return false;
        *target = static_cast<int>(v);
        return true;
    };
}

std::function<bool(const std::string&)> doubleOption(double* target, double lo, double hi) {
    return [=](const std::string& s) {
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !(v >= lo && v <= hi)) return false;
        *target = v;
        return true;
    };
}

std::function<bool(const std::string&)> textOption(std::string* target) {
    return [=](const std::string& s) {
        if (s.empty()) return false;
        *target = s;
        return true;
    };
}

// "WxH" within limits.
std::function<bool(const std::string&)> sizeOption(int* w, int* h) {
    return [=](const std::string& s) {
        int a = 0, b = 0;
        if (!parseImageSize(s, &a, &b) || a < 64 || b < 64 || a > 10000 || b > 10000) return false;
        *w = a;
        *h = b;
        return true;
    };
}

// "LO:HI" with lo <= LO <= HI <= hi.
std::function<bool(const std::string&)> rangeOption(double* from, double* to, double lo,
                                                    double hi) {
    return [=](const std::string& s) {
        double a = 0, b = 0;
        char colon = 0, extra = 0;
        if (std::sscanf(s.c_str(), "%lf%c%lf%c", &a, &colon, &b, &extra) != 3 || colon != ':' ||
            !(a >= lo && a <= b && b <= hi))
            return false;
        *from = a;
        *to = b;
        return true;
    };
}

void printHelp(const std::string& command, const std::string& summary,
               const std::vector<Option>& options) {
    std::cout << "Usage: tagforge " << command << " [options]\n" << summary << "\n";
    for (const Option& o : options) std::cout << "  --" << o.name << "  " << o.help << "\n";
}

// Parses argv[first..] into the options. Returns 0 to go on, a status to exit with.
int parseOptions(int argc, char** argv, int first, const std::string& command,
                 const std::string& summary, const std::vector<Option>& options,
                 const std::vector<std::string>& required) {
    std::vector<std::string> given;
    for (int i = first; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            printHelp(command, summary, options);
            return -1;
        }
        const Option* match = nullptr;
        for (const Option& o : options)
            if (word == "--" + o.name) match = &o;
        if (match == nullptr) {
            std::cerr << "tagforge " << command << ": unknown option " << word << " (see --help)\n";
            return kUsageError;
        }
        if (i + 1 >= argc) {
            std::cerr << "tagforge " << command << ": " << word << " needs a value\n";
            return kUsageError;
        }
        if (!match->set(argv[++i])) {
            std::cerr << "tagforge " << command << ": bad value for " << word << ": " << argv[i]
                      << " (" << match->help << ")\n";
            return kUsageError;
        }
        given.push_back(match->name);
    }
    for (const std::string& r : required)
        if (std::find(given.begin(), given.end(), r) == given.end()) {
            std::cerr << "tagforge " << command << ": --" << r << " is required (see --help)\n";
            return kUsageError;
        }
    return 0;
}

int exitStatus(int parsed) {
    return parsed < 0 ? 0 : parsed;
}

int fail(const std::string& command, const std::string& message) {
    std::cerr << "tagforge " << command << ": " << message << "\n";
    return kWorkFailed;
}

bool isWritableFolder(const std::string& dir) {
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec);
}

std::string parentOf(const std::string& file) {
    const std::filesystem::path p = std::filesystem::path(file).parent_path();
    return p.empty() ? "." : p.string();
}

int runPatterns(int argc, char** argv) {
    std::string out;
    int count = kBoardMarkers, seed = 1;
    const std::vector<Option> options = {
        {"out", "folder for pat.00, pat.01, ... (created)", textOption(&out)},
        {"count", "number of patterns, 1..150 (default 63)", intOption(&count, 1, 150)},
        {"seed", "design seed (default 1)", intOption(&seed, 0, 1 << 30)},
    };
    if (int s = parseOptions(argc, argv, 2, "patterns", "Writes marker pattern files.", options,
                             {"out"}))
        return exitStatus(s);
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (!isWritableFolder(out))
        return fail("patterns",
                    "cannot create the folder " + out + (ec ? ": " + ec.message() : std::string()));
    std::vector<MarkerPicture> pictures;
    double worst = 0;
    std::string error;
    if (!writePatternSet(out, count, static_cast<unsigned>(seed), &pictures, &worst, &error))
        return fail("patterns", error);
    std::cout << "wrote " << count << " patterns to " << out << ", worst score " << worst << "\n";
    return 0;
}

std::vector<MarkerPicture> picturesFor(int count, int seed, std::string* error) {
    std::vector<MarkerPicture> pictures;
    double worst = 0;
    if (!designPictures(count, static_cast<unsigned>(seed), kMaxPatternScore, &pictures, &worst))
        *error = "could not design the patterns";
    return pictures;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    return static_cast<bool>(out << text) && static_cast<bool>(out.flush());
}

// What the board command wrote, and the sizes to configure for it.
void printBoardSummary(const std::string& out, const MarkerLayout& layout, const BoardPage& page) {
    std::printf("wrote %s: sheet %g x %g mm%s, markers cover %g x %g mm\n", out.c_str(),
                page.widthMm, page.heightMm,
                page.paper.empty() ? "" : (" (" + page.paper + ")").c_str(), layoutWidth(layout),
                layoutHeight(layout));
    std::printf("for rigflow.cfg:\n  mark_size = %g\n  mark_space_x = %g\n  mark_space_y = %g\n",
                layout.markSize, layout.spaceX, layout.spaceY);
    if (layout.rotation) std::printf("  board_rotation = 1\n");
    std::printf("print at 100 %% (actual size), then measure the scale bar\n");
}

int runBoard(int argc, char** argv) {
    std::string out, paperText;
    double dpi = 300, size = 0, spaceX = kDefaultMarkSpaceMm, spaceY = kDefaultMarkSpaceMm;
    int rotation = 0, count = kBoardMarkers, seed = 1;
    const std::vector<Option> options = {
        {"out", "board file: .svg (millimetres, prints at true size) or .png", textOption(&out)},
        {"paper", "A4, A3, letter or WxHmm: the largest board the sheet holds",
         textOption(&paperText)},
        {"dpi", "PNG print resolution (default 300)", doubleOption(&dpi, 50, 1200)},
        {"mark-size", "MARK_SIZE in mm (default 30, or the largest for --paper)",
         doubleOption(&size, 1, 500)},
        {"space-x", "MARK_SPACE_X in mm (default 10; with --paper its ratio to 30)",
         doubleOption(&spaceX, 0, 500)},
        {"space-y", "MARK_SPACE_Y in mm (default 10; with --paper its ratio to 30)",
         doubleOption(&spaceY, 0, 500)},
        {"rotation", "boad_rotation, 0 or 1 (default 0)", intOption(&rotation, 0, 1)},
        {"count", "number of pattern, 63..150 (default 63)", intOption(&count, kBoardMarkers, 150)},
        {"seed", "pattern seed, as given to patterns (default 1)", intOption(&seed, 0, 1 << 30)},
    };
    if (int s = parseOptions(argc, argv, 2, "board", "Writes the printable marker board.", options,
                             {"out"}))
        return exitStatus(s);
    const bool svg = endsWith(out, ".svg");
    if (!svg && !endsWith(out, ".png"))
        return fail("board", "--out names a .svg or .png file: " + out);
    if (!isWritableFolder(parentOf(out))) return fail("board", "no folder " + parentOf(out));
    MarkerLayout layout{size > 0 ? size : kDefaultMarkSizeMm, spaceX, spaceY, rotation != 0, count};
    BoardPage page = pageAroundBoard(layout);
    if (!paperText.empty()) {
        double w = 0, h = 0;
        std::string name, refusal;
        if (!parsePaper(paperText, &w, &h, &name))
            return fail("board",
                        "--paper takes A4, A3, letter or WxHmm (e.g. 500x400mm): " + paperText);
        // The gaps keep their proportion to the marker (10 mm to 30 mm by default).
        const double reference = size > 0 ? size : kDefaultMarkSizeMm;
        if (!fitBoardToPaper(w, h, name, size, spaceX / reference, spaceY / reference, &layout,
                             &page, &refusal))
            return fail("board", refusal);
    }
    std::string error;
    const std::vector<MarkerPicture> pictures = picturesFor(count, seed, &error);
    if (!error.empty()) return fail("board", error);
    if (svg) {
        if (!writeText(out, boardSvg(pictures, layout, page)))
            return fail("board", "cannot write " + out);
    } else {
        const double pixels = page.widthMm * dpi / 25.4 * page.heightMm * dpi / 25.4;
        if (pixels > 4.0e8) return fail("board", "the board would be larger than 400 megapixels");
        if (!writeImage(out, renderBoardImage(pictures, layout, page, dpi)))
            return fail("board", "cannot write " + out);
    }
    printBoardSummary(out, layout, page);
    return 0;
}

int runProjection(int argc, char** argv) {
    std::string out;
    int width = 1024, height = 768, count = kBoardMarkers, seed = 1;
    const std::vector<Option> options = {
        {"out", "PNG file of the projected pattern image", textOption(&out)},
        {"size", "projector resolution WxH (default 1024x768)", sizeOption(&width, &height)},
        {"count", "number of pattern, 63..150 (default 63)", intOption(&count, kBoardMarkers, 150)},
        {"seed", "pattern seed, as given to patterns (default 1)", intOption(&seed, 0, 1 << 30)},
    };
    if (int s = parseOptions(argc, argv, 2, "projection", "Writes the image the projector casts.",
                             options, {"out"}))
        return exitStatus(s);
    if (!isWritableFolder(parentOf(out))) return fail("projection", "no folder " + parentOf(out));
    MarkerLayout layout;
    double ox, oy;
    if (!projectionLayout(width, height, count, &layout, &ox, &oy)) {
        int w = 0, h = 0;
        smallestProjectionSize(count, &w, &h);
        return fail("projection", "the markers do not fit " + std::to_string(width) + "x" +
                                      std::to_string(height) +
                                      "; the smallest resolution that holds them is " +
                                      std::to_string(w) + "x" + std::to_string(h));
    }
    std::string error;
    const std::vector<MarkerPicture> pictures = picturesFor(count, seed, &error);
    if (!error.empty()) return fail("projection", error);
    if (!writeImage(out, renderProjectionImage(pictures, width, height, layout, ox, oy)))
        return fail("projection", "cannot write " + out);
    std::cout << "wrote " << out << " (markers " << layout.markSize << " px)\n";
    return 0;
}

int runCamparam(int argc, char** argv) {
    std::string out = "camparam.dat";
    int width = 0, height = 0;
    const std::vector<Option> options = {
        {"out", "file to write (default camparam.dat)", textOption(&out)},
        {"size", "camera image size WxH", sizeOption(&width, &height)},
    };
    if (int s = parseOptions(argc, argv, 2, "camparam", "Writes an identity camera parameter file.",
                             options, {"size"}))
        return exitStatus(s);
    if (!writeIdentityCameraParamFile(out, width, height))
        return fail("camparam", "cannot write " + out);
    std::cout << "wrote " << out << "\n";
    return 0;
}

int runScene(int argc, char** argv) {
    SceneOptions o;
    int seed = 1;
    const std::vector<Option> options = {
        {"out", "scene folder (created)", textOption(&o.outDir)},
        {"views", "board poses (default 12)", intOption(&o.views, 1, 300)},
        {"seed", "random seed (default 1)", intOption(&seed, 0, 1 << 30)},
        {"camera", "camera resolution WxH (default 1280x960)",
         sizeOption(&o.cameraWidth, &o.cameraHeight)},
        {"projector", "projector resolution WxH (default 1024x768)",
         sizeOption(&o.projectorWidth, &o.projectorHeight)},
        {"noise", "grey-level noise sigma (default 2)", doubleOption(&o.noise, 0, 50)},
        {"blur", "blur sigma in pixels (default 0.6)", doubleOption(&o.blur, 0, 10)},
        {"distortion", "lens distortion strength, 0 = none (default 1)",
         doubleOption(&o.distortion, 0, 3)},
        {"gradient", "brightness fall-off across the image, 0..0.9 (default 0.2)",
         doubleOption(&o.gradient, 0, 0.9)},
        {"supersampling", "sub-samples per axis (default 4)", intOption(&o.supersampling, 1, 8)},
        {"tilt", "board tilt range in degrees, MIN:MAX (default 10:35; steep: 45:60)",
         rangeOption(&o.tiltMin, &o.tiltMax, 0, 75)},
        {"jpeg", "write the photos as JPEG of this quality, 1..100 (default: PNG)",
         intOption(&o.jpegQuality, 1, 100)},
        {"vignetting", "brightness lost in the image corners, 0..0.9 (default 0)",
         doubleOption(&o.vignetting, 0, 0.9)},
        {"defocus", "blur sigma in the image corners, growing from --blur at the centre",
         doubleOption(&o.defocusEdge, 0, 10)},
        {"sharpen", "unsharp-mask amount of a phone's processing (default 0)",
         doubleOption(&o.sharpen, 0, 5)},
        {"clutter", "photo of a room shown behind the board (e.g. a JPEG from opencv-doc)",
         textOption(&o.clutter)},
        {"hands", "hands over the board per view, each over 5-10 % of it (default 0)",
         intOption(&o.hands, 0, 4)},
        {"strays", "stray printouts of board markers beside the board per view (default 0)",
         intOption(&o.strays, 0, 6)},
        {"gamma", "projector gamma (default 1)", doubleOption(&o.gamma, 0.2, 5)},
        {"black-level", "projector light of black pixels, share of white, 0..0.5 (default 0)",
         doubleOption(&o.blackLevel, 0, 0.5)},
        {"room-light", "grey levels of room light in the projector photos (default 0)",
         doubleOption(&o.roomLight, 0, 150)},
        {"bloom", "share of the projected light spread around bright areas (default 0)",
         doubleOption(&o.bloom, 0, 1)},
    };
    if (int s = parseOptions(argc, argv, 2, "scene",
                             "Writes a synthetic working directory with ground truth.", options,
                             {"out"}))
        return exitStatus(s);
    o.seed = static_cast<std::uint32_t>(seed);
    std::string error;
    if (generateScene(o, &error) != 0) return fail("scene", error);
    std::cout << "wrote scene " << o.outDir << " (" << o.views << " views)\n";
    return 0;
}

void printUsage() {
    std::cout << "Usage: tagforge COMMAND [options]   (tagforge COMMAND --help for the options)\n"
                 "  patterns    marker pattern files data/pat.NN\n"
                 "  board       printable board PNG\n"
                 "  projection  projected pattern image PNG\n"
                 "  camparam    identity camparam.dat\n"
                 "  scene       synthetic working directory with ground truth\n";
}
}  // namespace

int runTagforge(int argc, char** argv) {
    if (argc < 2) {
        printUsage();
        return kUsageError;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        printUsage();
        return 0;
    }
    const std::map<std::string, std::function<int(int, char**)>> commands = {
        {"patterns", runPatterns}, {"board", runBoard}, {"projection", runProjection},
        {"camparam", runCamparam}, {"scene", runScene},
    };
    const auto it = commands.find(command);
    if (it == commands.end()) {
        std::cerr << "tagforge: unknown command " << command << "\n";
        printUsage();
        return kUsageError;
    }
    return it->second(argc, argv);
}
