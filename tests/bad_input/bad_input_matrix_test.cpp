// Damaged inputs across the five programs: each run ends without a crash or a hang, says
// what is wrong, exits as documented and leaves no output that looks complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>

#include "calib_fixture.h"
#include "harvest_command.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
const std::string kLongLine(5000, '7');

// A small valid camera run (4 views) and projector run in dir, with a camera matrix and
// distortion file, as the programs expect them.
void writeValidInputs(const std::string& dir) {
    const SyntheticCamera cam = testCamera(cv::Mat::zeros(1, 5, CV_64F));
    const SyntheticViews v = makeViews(cam, 4, 17);
    writeCameraRun(dir, "cam", {0, 1, 2, 3}, projectViews(cam, v, 0.1, 1), v.board, cam.size);
    std::vector<std::vector<cv::Point2f>> onCam, pattern;
    projectorViews(cam, testProjector(), v, 0.1, 2, &onCam, &pattern);
    writeProjectorRun(dir, {0, 1, 2, 3}, onCam, pattern);
    writeFile(dir + "/K.txt", "700 0 322.5 0 703 236.25 0 0 1\n");
    writeFile(dir + "/D.txt", "-0.1 0.01 0 0\n");
    writeFile(dir + "/pose.txt", "1 2 3 10 20 30\n");
    fs::create_directories(dir + "/out");
}

struct Case {
    std::string name;
    std::string program;
    std::vector<std::string> args;
    std::function<void(const std::string&)> damage;
    int status;                // expected exit status
    std::string message;       // expected in stdout or stderr
    std::string mustNotExist;  // an output that must not be written ("" for none)
};

std::vector<std::string> lensrigArgs() {
    return {
        "img%03d.png", "cam/cam2D%03d.txt", "cam/cam3D%03d.txt", "cam/cam_true_num.txt", "1", "out",
        "out"};
}
std::vector<std::string> lumenrigArgs() {
    return {"cam/cam_true_num.txt",
            "img%03d.png",
            "cam/cam2D%03d.txt",
            "cam/cam3D%03d.txt",
            "640",
            "480",
            "proj/proj_true_num.txt",
            "p%03d.png",
            "proj/proj2D%03d.txt",
            "proj/pattern%03d.txt",
            "1024",
            "768",
            "out/R.txt",
            "out/T.txt",
            "out/F.txt",
            "out/K.txt",
            "out/D.txt",
            "0"};
}
// A default camera-mode tagharvest run on images/cam%03d.png from number 0.
std::vector<std::string> harvestArgs(int images) {
    HarvestCommand command;
    command.projection = "projection.png";
    command.cameraImages = "images/cam%03d.png";
    command.count = images;
    command.marked = "test/m%03d.png";
    return harvestCommandLine(command);
}

std::vector<std::string> warpdotsArgs() {
    return {"cam/cam_true_num.txt", "K.txt", "D.txt", "cam/cam2D%03d.txt", "out/u%03d.txt"};
}
auto put(const std::string& file, const std::string& content) {
    return [=](const std::string& dir) { writeFile(dir + "/" + file, content); };
}
auto removeFile(const std::string& file) {
    return [=](const std::string& dir) { fs::remove(dir + "/" + file); };
}
const auto nothing = [](const std::string&) {};

// n points of a view on one line, or all at one spot (image and board files together).
auto degenerateView(int n, bool line) {
    return [=](const std::string& dir) {
        std::string image, board;
        for (int i = 0; i < n; ++i) {
            const int step = line ? i : 0;
            image += std::to_string(100 + 5 * step) + "\t" + std::to_string(80 + 3 * step) + "\n";
            board += std::to_string(10 * step) + "\t" + std::to_string(6 * step) + "\t0\n";
        }
        writeFile(dir + "/cam/cam2D001.txt", image);
        writeFile(dir + "/cam/cam3D001.txt", board);
    };
}
// The board points of view 1 moved off the plane z = 0 (one point) or onto z = 7 (all).
auto liftBoard(bool all) {
    return [=](const std::string& dir) {
        std::istringstream in(readFile(dir + "/cam/cam3D001.txt"));
        std::string out, line;
        for (int i = 0; std::getline(in, line); ++i) {
            std::istringstream words(line);
            double x = 0, y = 0, z = 0;
            words >> x >> y >> z;
            out += std::to_string(x) + "\t" + std::to_string(y) + "\t" +
                   std::to_string(all || i == 5 ? 7.0 : z) + "\n";
        }
        writeFile(dir + "/cam/cam3D001.txt", out);
    };
}
// The 18 lumenrig arguments with one replaced.
std::vector<std::string> lumenrigWith(std::size_t index, const std::string& value) {
    std::vector<std::string> a = lumenrigArgs();
    a[index] = value;
    return a;
}
std::vector<std::string> lensrigWith(std::size_t index, const std::string& value) {
    std::vector<std::string> a = lensrigArgs();
    a[index] = value;
    return a;
}
std::vector<std::string> harvestWith(std::size_t index, const std::string& value) {
    std::vector<std::string> a = harvestArgs(1);
    a[index] = value;
    return a;
}
const std::string kRotation90 = "0 -1 0 4\n1 0 0 8\n0 0 1 12\n0 0 0 1\n";
}  // namespace

TEST(BadInputMatrix, EveryProgramFailsCleanly) {
    const std::string view0 = "cam/cam2D000.txt";
    const std::vector<Case> cases = {
        // lensrig
        {"lensrig: missing true-number file", "lensrig", lensrigArgs(),
         removeFile("cam/cam_true_num.txt"), 1, "file cannot be read.", "out/Cam_mat.txt"},
        {"lensrig: empty true-number file", "lensrig", lensrigArgs(),
         put("cam/cam_true_num.txt", ""), 1, "lists no image", "out/Cam_mat.txt"},
        {"lensrig: letters", "lensrig", lensrigArgs(), put(view0, "1 2\nab cd\n"), 1,
         "line 2: expected 2 numbers", "out/Cam_mat.txt"},
        {"lensrig: truncated line", "lensrig", lensrigArgs(), put(view0, "1 2\n3\n"), 1, "line 2",
         "out/Cam_mat.txt"},
        {"lensrig: nan", "lensrig", lensrigArgs(), put(view0, "nan 2\n"), 1, "line 1",
         "out/Cam_mat.txt"},
        {"lensrig: huge value", "lensrig", lensrigArgs(), put(view0, "1e400 2\n"), 1, "line 1",
         "out/Cam_mat.txt"},
        {"lensrig: very long line", "lensrig", lensrigArgs(), put(view0, kLongLine + "\n"), 1,
         "line 1", "out/Cam_mat.txt"},
        {"lensrig: huge image number", "lensrig", lensrigArgs(),
         put("cam/cam_true_num.txt", "99999999999\n"), 1, "not an image number: 99999999999",
         "out/Cam_mat.txt"},
        {"lensrig: conversion in a name",
         "lensrig",
         {"img%n.png", "cam/cam2D%03d.txt", "cam/cam3D%03d.txt", "cam/cam_true_num.txt", "1", "out",
          "out"},
         nothing,
         1,
         "the image pattern",
         "out/Cam_mat.txt"},
        {"lensrig: output folder is a file",
         "lensrig",
         {"img%03d.png", "cam/cam2D%03d.txt", "cam/cam3D%03d.txt", "cam/cam_true_num.txt", "1",
          "K.txt", "out"},
         nothing,
         2,
         "cannot write K.txt/cam_RT000.txt",
         ""},
        // lumenrig
        {"lumenrig: empty projector file", "lumenrig", lumenrigArgs(),
         put("proj/pattern002.txt", ""), 1, "projector image 2: 63 points", "out/K.txt"},
        {"lumenrig: inf", "lumenrig", lumenrigArgs(), put("proj/proj2D001.txt", "inf 3\n"), 1,
         "line 1", "out/K.txt"},
        {"lumenrig: missing camera view file", "lumenrig", lumenrigArgs(),
         removeFile("cam/cam3D003.txt"), 1, "cannot read cam/cam3D003.txt", "out/K.txt"},
        // warpdots
        {"warpdots: empty matrix", "warpdots", warpdotsArgs(), put("K.txt", ""), 1, "found 0",
         "out/u000.txt"},
        {"warpdots: nan coefficient", "warpdots", warpdotsArgs(), put("D.txt", "0 nan 0 0\n"), 1,
         "not a number: nan", "out/u000.txt"},
        {"warpdots: huge coefficient", "warpdots", warpdotsArgs(), put("D.txt", "0 1e999 0 0\n"), 1,
         "not a number: 1e999", "out/u000.txt"},
        {"warpdots: letters in points", "warpdots", warpdotsArgs(), put(view0, "x y\n"), 1,
         "line 1", "out/u000.txt"},
        {"warpdots: conversion in a name",
         "warpdots",
         {"cam/cam_true_num.txt", "K.txt", "D.txt", "cam/cam2D%s.txt", "out/u%03d.txt"},
         nothing,
         1,
         "the 2D point pattern",
         "out/u000.txt"},
        // kinemix
        {"kinemix: empty pose file",
         "kinemix",
         {"-t", "hf:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", ""),
         2,
         "does not hold six numbers",
         ""},
        {"kinemix: letters in a pose file",
         "kinemix",
         {"-t", "hf:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", "a b c d e f\n"),
         2,
         "does not hold six numbers",
         ""},
        {"kinemix: very long pose line",
         "kinemix",
         {"-t", "hf:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", kLongLine + "\n"),
         2,
         "does not hold six numbers",
         ""},
        {"kinemix: short matrix file",
         "kinemix",
         {"-t", "tm:pose.txt", "-o", "out/p.txt"},
         nothing,
         2,
         "Error!! in specstring tm:pose.txt",
         ""},
        // Views that cannot constrain a calibration, named before any fit (no OpenCV text).
        {"lensrig: repeated view", "lensrig", lensrigArgs(),
         put("cam/cam_true_num.txt", "0\n0\n0\n1\n2\n3\n"), 1, "view 0 is listed 3 times",
         "out/Cam_mat.txt"},
        {"lensrig: two views", "lensrig", lensrigArgs(), put("cam/cam_true_num.txt", "0\n1\n"), 1,
         "lists 2 view(s): at least 3 are needed", "out/Cam_mat.txt"},
        {"lensrig: four points", "lensrig", lensrigArgs(), degenerateView(4, true), 1,
         "view 1 (image 1, cam/cam2D001.txt) cannot constrain the calibration: only 4 points",
         "out/Cam_mat.txt"},
        {"lensrig: collinear points", "lensrig", lensrigArgs(), degenerateView(20, true), 1,
         "image points lie on one line", "out/Cam_mat.txt"},
        {"lensrig: points at one spot", "lensrig", lensrigArgs(), degenerateView(20, false), 1,
         "image points all lie at one spot", "out/Cam_mat.txt"},
        {"lensrig: empty point files", "lensrig", lensrigArgs(), degenerateView(0, true), 1,
         "only 0 points", "out/Cam_mat.txt"},
        {"lensrig: board off its plane", "lensrig", lensrigArgs(), liftBoard(false), 1,
         "board points are not on one plane", "out/Cam_mat.txt"},
        {"lensrig: board at z 7", "lensrig", lensrigArgs(), liftBoard(true), 1,
         "do not all have z = 0", "out/Cam_mat.txt"},
        {"lensrig: missing point file of a listed view", "lensrig", lensrigArgs(),
         removeFile("cam/cam2D002.txt"), 1,
         "cannot read cam/cam2D002.txt (view 2, image 2 of cam/cam_true_num.txt)",
         "out/Cam_mat.txt"},
        // Sizes the points do not fit; modes that are not whole numbers.
        {"lensrig: size far too large",
         "lensrig",
         {"--size", "6400x4800", "-", "cam/cam2D%03d.txt", "cam/cam3D%03d.txt",
          "cam/cam_true_num.txt", "1", "out", "out"},
         nothing,
         1,
         "of the 6400 x 4800 image: it is not the size they were found at (--size)",
         "out/Cam_mat.txt"},
        {"lensrig: size too small",
         "lensrig",
         {"--size", "64x48", "-", "cam/cam2D%03d.txt", "cam/cam3D%03d.txt", "cam/cam_true_num.txt",
          "1", "out", "out"},
         nothing,
         1,
         "lies outside the 64 x 48 image (--size)",
         "out/Cam_mat.txt"},
        {"lensrig: mode abc", "lensrig", lensrigWith(4, "abc"), nothing, 1,
         "mode and iterations must be whole numbers", "out/Cam_mat.txt"},
        {"lensrig: mode 1abc", "lensrig", lensrigWith(4, "1abc"), nothing, 1,
         "must be whole numbers, not 1abc", "out/Cam_mat.txt"},
        {"lensrig: mode nan", "lensrig", lensrigWith(4, "nan"), nothing, 1,
         "must be whole numbers, not nan", "out/Cam_mat.txt"},
        {"lensrig: iterations 10x", "lensrig",
         [] {
             auto a = lensrigArgs();
             a.push_back("10x");
             return a;
         }(),
         nothing, 1, "must be whole numbers, not 1 and 10x", "out/Cam_mat.txt"},
        {"lensrig: %x in a pattern", "lensrig", lensrigWith(0, "img%x%x.png"), nothing, 1,
         "the image pattern", "out/Cam_mat.txt"},
        {"lensrig: a photo above 100 megapixels is skipped, also for its reprojection image",
         "lensrig", lensrigArgs(),
         [](const std::string& d) {
             std::string png = readFile(d + "/img000.png");
             const unsigned char size[8] = {0, 0, 0x4e, 0x20, 0, 0, 0x4e, 0x20};
             png.replace(16, 8, reinterpret_cast<const char*>(size), 8);
             writeFile(d + "/img000.png", png);
         },
         0, "no reprojection image for img000.png: it could not be read", ""},
        // lumenrig
        {"lumenrig: repeated projector view", "lumenrig", lumenrigArgs(),
         put("proj/proj_true_num.txt", "0\n1\n1\n2\n3\n"), 1, "view 1 is listed 2 times",
         "out/K.txt"},
        {"lumenrig: collinear camera view", "lumenrig", lumenrigArgs(), degenerateView(20, true), 1,
         "camera image 1 (cam/cam2D001.txt) cannot constrain the calibration: the image points "
         "lie on one line",
         "out/K.txt"},
        {"lumenrig: collinear projector view", "lumenrig", lumenrigArgs(),
         [](const std::string& d) {
             std::string line;
             for (int i = 0; i < 63; ++i) line += std::to_string(10 * i) + " 300\n";
             writeFile(d + "/proj/pattern002.txt", line);
         },
         1, "projector points lie on one line", "out/K.txt"},
        {"lumenrig: two views", "lumenrig", lumenrigArgs(), put("proj/proj_true_num.txt", "0\n1\n"),
         1, "at least 3 are needed", "out/K.txt"},
        {"lumenrig: zero width", "lumenrig", lumenrigWith(4, "0"), nothing, 1,
         "must lie from 1 to 100000 pixels", "out/K.txt"},
        {"lumenrig: camera size too small", "lumenrig",
         [] {
             auto a = lumenrigWith(4, "64");
             a[5] = "48";
             return a;
         }(),
         nothing, 1, "lies outside the 64 x 48 image", "out/K.txt"},
        {"lumenrig: projector size far too large", "lumenrig",
         [] {
             auto a = lumenrigWith(10, "90000");
             a[11] = "90000";
             return a;
         }(),
         nothing, 1, "of the 90000 x 90000 image: it is not the size", "out/K.txt"},
        {"lumenrig: width 640px", "lumenrig", lumenrigWith(4, "640px"), nothing, 1,
         "must be whole numbers", "out/K.txt"},
        {"lumenrig: mode abc", "lumenrig", lumenrigWith(17, "abc"), nothing, 1,
         "must be whole numbers", "out/K.txt"},
        // warpdots
        {"warpdots: fx 0", "warpdots", warpdotsArgs(),
         put("K.txt", "0 0 322.5 0 703 236.25 0 0 1\n"), 1, "K.txt is a singular camera matrix",
         "out/u000.txt"},
        {"warpdots: singular matrix", "warpdots", warpdotsArgs(),
         put("K.txt", "700 0 322.5 0 703 236.25 0 0 0\n"), 1, "singular camera matrix",
         "out/u000.txt"},
        {"warpdots: mode abc", "warpdots",
         [] {
             auto a = warpdotsArgs();
             a.push_back("abc");
             return a;
         }(),
         nothing, 1, "the mode must be a whole number", "out/u000.txt"},
        // kinemix: a 4 x 4 that is not a rigid pose is a failed step (nothing from it)
        {"kinemix: zero matrix",
         "kinemix",
         {"-t", "tm:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", "0 0 0 0\n0 0 0 0\n0 0 0 0\n0 0 0 0\n"),
         2,
         "matrix file pose.txt is not a rigid pose: its last row is not 0 0 0 1",
         ""},
        {"kinemix: scale 2",
         "kinemix",
         {"-t", "gl:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", "2 0 0 0\n0 2 0 0\n0 0 2 0\n0 0 0 1\n"),
         2,
         "is not orthonormal",
         ""},
        {"kinemix: reflection",
         "kinemix",
         {"-t", "tm:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", "1 0 0 0\n0 -1 0 0\n0 0 1 0\n0 0 0 1\n"),
         2,
         "determinant -1",
         ""},
        {"kinemix: a rotation passes",
         "kinemix",
         {"-t", "tm:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", kRotation90),
         0,
         "",
         ""},
        // Conversions other than one integer in a pattern argument: refused, never expanded.
        {"lumenrig: %x in a pattern", "lumenrig", lumenrigWith(8, "proj/proj2D%x%03d.txt"), nothing,
         1, "the projector-on-camera point pattern", "out/K.txt"},
        {"warpdots: %n in the output pattern",
         "warpdots",
         {"cam/cam_true_num.txt", "K.txt", "D.txt", "cam/cam2D%03d.txt", "out/u%n%03d.txt"},
         nothing,
         1,
         "the output 2D point pattern",
         "out/u000.txt"},
        {"tagharvest: %n in Camera_img", "tagharvest", harvestWith(1, "images/cam%n.png"), nothing,
         1, "Camera_img must hold exactly one integer conversion", "points"},
        {"tagharvest: %x in marked_image_name", "tagharvest", harvestWith(18, "test/m%x%03d.png"),
         nothing, 1, "marked_image_name must hold exactly one integer conversion", "points"},
        // tagharvest arguments, refused with the usage before anything is read
        {"tagharvest: MARK_SIZE nan", "tagharvest", harvestWith(10, "nan"), nothing, 1,
         "MARK_SIZE must be a finite number, not nan", "points"},
        {"tagharvest: MARK_SIZE inf", "tagharvest", harvestWith(10, "inf"), nothing, 1,
         "MARK_SIZE must be a finite number", "points"},
        {"tagharvest: MARK_SIZE 0", "tagharvest", harvestWith(10, "0"), nothing, 1,
         "MARK_SIZE must be a positive board length", "points"},
        {"tagharvest: MARK_SIZE -30", "tagharvest", harvestWith(10, "-30"), nothing, 1,
         "MARK_SIZE must be a positive board length", "points"},
        {"tagharvest: MARK_SPACE_X -5", "tagharvest", harvestWith(11, "-5"), nothing, 1,
         "MARK_SPACE_X and MARK_SPACE_Y must lie from 0 to 100 x MARK_SIZE", "points"},
        {"tagharvest: MARK_SPACE_Y 1e9", "tagharvest", harvestWith(12, "1e9"), nothing, 1,
         "MARK_SPACE_X and MARK_SPACE_Y must lie", "points"},
        {"tagharvest: thresh_first 300", "tagharvest", harvestWith(5, "300"), nothing, 1,
         "thresh_first must be a grey value from 0 to 255, not 300", "points"},
        {"tagharvest: thresh_first huge", "tagharvest", harvestWith(5, "2147483647"), nothing, 1,
         "thresh_first must be a grey value", "points"},
        {"tagharvest: thresh_repeat_num 99999999", "tagharvest", harvestWith(8, "99999999"),
         nothing, 1, "thresh_repeat_num must be at most 256", "points"},
        {"tagharvest: last threshold above 255", "tagharvest", harvestWith(7, "100"), nothing, 1,
         "the last threshold, thresh_first + (thresh_repeat_num - 1) x thresh_interval = 480",
         "points"},
        {"tagharvest: calib_mode 1abc", "tagharvest", harvestWith(15, "1abc"), nothing, 1,
         "calib_mode must be a whole number, not 1abc", "points"},
        {"tagharvest: Adapbtive_thresh_flag abc", "tagharvest", harvestWith(6, "abc"), nothing, 1,
         "Adapbtive_thresh_flag must be a whole number", "points"},
        {"tagharvest: usage after a refused argument", "tagharvest", harvestWith(10, "nan"),
         nothing, 1, "Usage: tagharvest", "points"},
        // Directories where files are expected.
        {"lensrig: true-number file is a directory", "lensrig", lensrigArgs(),
         [](const std::string& d) {
             fs::remove(d + "/cam/cam_true_num.txt");
             fs::create_directories(d + "/cam/cam_true_num.txt");
         },
         1, "cam/cam_true_num.txt: it is a directory", "out/Cam_mat.txt"},
        {"warpdots: matrix file is a directory", "warpdots", warpdotsArgs(),
         [](const std::string& d) {
             fs::remove(d + "/K.txt");
             fs::create_directories(d + "/K.txt");
         },
         1, "K.txt: it is a directory", "out/u000.txt"},
        {"lumenrig: missing projector true numbers say the fixed line too", "lumenrig",
         lumenrigArgs(), removeFile("proj/proj_true_num.txt"), 1, "file cannot be read.",
         "out/K.txt"},
        {"kinemix: pose file is a directory",
         "kinemix",
         {"-t", "hf:out", "-o", "out/p.txt"},
         nothing,
         2,
         "cannot open file out: it is a directory",
         ""},  // a failed step contributes nothing; the rest is written
        {"kinemix: binary matrix file",
         "kinemix",
         {"-t", "tm:pose.txt", "-o", "out/p.txt"},
         put("pose.txt", std::string("\x89PNG\r\n\x1a\n\x00\x7f\x01", 11)),
         2,
         "is not a finite number",
         ""},  // a failed step contributes nothing; the rest is written
        {"kinemix: non-finite scale",
         "kinemix",
         {"-t", "tt:1,2,3", "-s", "1e999", "-o", "out/p.txt"},
         nothing,
         2,
         "-s needs a finite number: 1e999",
         ""},  // a failed step contributes nothing; the rest is written
        {"kinemix: output folder missing",
         "kinemix",
         {"-o", "nowhere/p.txt"},
         nothing,
         2,
         "cannot open file nowhere/p.txt",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeValidInputs(dir.path());
        c.damage(dir.path());
        const ProgramResult r = runProgram(programPath(c.program), c.args, dir.path());
        EXPECT_LT(r.status, 128) << "killed by a signal";
        EXPECT_EQ(r.status, c.status)
            << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0) << r.err;
        EXPECT_TRUE(r.err.find(c.message) != std::string::npos ||
                    r.out.find(c.message) != std::string::npos)
            << r.err;
        if (!c.mustNotExist.empty()) {
            EXPECT_FALSE(fileExists(dir.file(c.mustNotExist))) << c.mustNotExist;
        }
    }
}

TEST(BadInputMatrix, TagharvestImagesOfOtherSizesAndLargeImages) {
    TempDir dir;
    const ProgramResult scene =
        generateScene(".", {"--views", "2", "--camera", "640x480"}, dir.path());
    ASSERT_EQ(scene.status, 0) << scene.err;
    // image 1 of another size; image 2 larger than 2400 x 1800 (a series of its own below)
    cv::imwrite(dir.file("images/cam001.png"),
                cv::Mat(300, 400, CV_8UC3, cv::Scalar(255, 255, 255)));
    const std::vector<std::string> args = harvestArgs(2);
    ProgramResult r = runProgram(programPath("tagharvest"), args, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("is 400 x 300, not 640 x 480"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Image num  1 :  NG "), std::string::npos);

    cv::Mat large(1900, 2600, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::Mat small = cv::imread(dir.file("images/cam000.png"));
    small.copyTo(large(cv::Rect(100, 100, small.cols, small.rows)));
    cv::imwrite(dir.file("images/big000.png"), large);
    std::vector<std::string> bigArgs = args;
    bigArgs[1] = "images/big%03d.png";
    bigArgs[3] = "1";
    r = runProgram(programPath("tagharvest"), bigArgs, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Image num  0 :  OK (detect num 63)"), std::string::npos) << r.out;
}

// "%%" in a pattern is a literal percent; folder arguments are never patterns, so a "%"
// there is text, "%n" included.
TEST(BadInput, PercentInNamesIsLiteralWhereMeant) {
    TempDir dir;
    writeValidInputs(dir.path());
    fs::copy(dir.file("cam"), dir.file("c%x"));
    fs::create_directories(dir.file("o%n"));
    const ProgramResult r = runProgram(programPath("lensrig"),
                                       {"img%03d.png", "c%%x/cam2D%03d.txt", "c%%x/cam3D%03d.txt",
                                        "c%x/cam_true_num.txt", "1", "o%n", "o%n"},
                                       dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fileExists(dir.file("o%n/Cam_mat.txt")));
    EXPECT_TRUE(fileExists(dir.file("o%n/cam_RT003.txt")));
    EXPECT_TRUE(fileExists(dir.file("o%n/reprojectionCam003.png")));

    // warpdots: "%%" in both patterns.
    const ProgramResult w = runProgram(
        programPath("warpdots"),
        {"cam/cam_true_num.txt", "K.txt", "D.txt", "c%%x/cam2D%03d.txt", "out/u%%%03d.txt"},
        dir.path());
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_TRUE(fileExists(dir.file("out/u%003.txt")));
}

// Photos that leave nothing usable are named and the run fails; it never lists views
// with empty point files.
TEST(BadInputMatrix, TagharvestNamesWhatMakesEveryPhotoUnusable) {
    TempDir dir;
    const ProgramResult scene =
        generateScene(".", {"--views", "2", "--camera", "640x480"}, dir.path());
    ASSERT_EQ(scene.status, 0) << scene.err;
    const std::vector<std::string> args = harvestArgs(2);

    // A 1 x 1 first photo would set the series size.
    const std::string photo0 = readFile(dir.file("images/cam000.png"));
    cv::imwrite(dir.file("images/cam000.png"), cv::Mat(1, 1, CV_8UC3, cv::Scalar(255)));
    ProgramResult r = runProgram(programPath("tagharvest"), args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("image 0 (images/cam000.png) is 1 x 1, too small to show a marker, and "
                         "the series size is taken from it"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(dir.file("points/cam_true_num.txt")));
    writeFile(dir.file("images/cam000.png"), photo0);

    // A first photo of another size: every other photo is unusable, and the line says why.
    cv::imwrite(dir.file("images/cam000.png"), cv::Mat(300, 400, CV_8UC3, cv::Scalar(255)));
    r = runProgram(programPath("tagharvest"), args, dir.path());
    EXPECT_NE(r.err.find("the series size 400 x 300 comes from image 0 (images/cam000.png); 1 "
                         "photo(s) of another size are unusable"),
              std::string::npos)
        << r.err;
    writeFile(dir.file("images/cam000.png"), photo0);

    // A BMP header with a height of INT_MIN or a negative width: refused from the header.
    for (const auto& [width, height] :
         {std::pair{640u, 0x80000000u}, std::pair{0xfffffd80u, 480u}}) {
        std::string bmp(26, '\0');
        bmp[0] = 'B';
        bmp[1] = 'M';
        for (int i = 0; i < 4; ++i) {
            bmp[18 + i] = static_cast<char>((width >> (8 * i)) & 0xff);
            bmp[22 + i] = static_cast<char>((height >> (8 * i)) & 0xff);
        }
        writeFile(dir.file("images/bmp000.bmp"), bmp);
        std::vector<std::string> bmpArgs = harvestArgs(1);
        bmpArgs[1] = "images/bmp%03d.bmp";
        r = runProgram(programPath("tagharvest"), bmpArgs, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("images/bmp000.bmp"), std::string::npos) << r.err;
    }

    // Projector mode with a pattern image that shows no pattern marker.
    cv::imwrite(dir.file("tiny.png"), cv::Mat(1, 1, CV_8UC3, cv::Scalar(255)));
    std::vector<std::string> projector = args;
    projector[0] = "tiny.png";
    projector[13] = "1";  // center_flag
    projector[15] = "1";  // calib_mode
    r = runProgram(programPath("tagharvest"), projector, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no marker of the pattern could be identified in the pattern image "
                         "tiny.png (1 x 1)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(dir.file("points/proj_true_num.txt")));
}

// Asking for help is not a mistake: every program prints its usage on stdout and exits 0.
TEST(BadInput, HelpIsUsageOnStdoutAndSuccess) {
    const std::pair<std::string, std::string> programs[] = {
        {"tagharvest", "Usage: tagharvest [--subpixel [--detect-scale S]]"},
        {"lensrig", "Usage: lensrig [--size WxH]"},
        {"lumenrig", "Usage: lumenrig [--results FILE]"},
        {"warpdots", "[true num txt][camMat txt]"},
        {"kinemix", "[options...]"},
        {"tagforge", "Usage: tagforge COMMAND"},
        {"rigflow", "Usage: rigflow [--config FILE]"}};
    TempDir dir;
    for (const auto& [program, usage] : programs)
        for (const std::string flag : {"--help", "-h"}) {
            SCOPED_TRACE(program + " " + flag);
            const ProgramResult r = runProgram(programPath(program), {flag}, dir.path());
            EXPECT_EQ(r.status, 0);
            EXPECT_NE(r.out.find(usage), std::string::npos) << r.out;
            EXPECT_EQ(r.err, "");
        }
}

// A pattern file that cannot be loaded would shift every later id; a camera record without
// a size would be divided by; a photo too large to hold is refused from its header.
TEST(BadInputMatrix, TagharvestRefusesWhatWouldShiftIdsOrExhaustMemory) {
    TempDir dir;
    const ProgramResult scene =
        generateScene(".", {"--views", "1", "--camera", "640x480"}, dir.path());
    ASSERT_EQ(scene.status, 0) << scene.err;
    const std::vector<std::string> args = harvestArgs(1);
    const std::string pattern05 = readFile(dir.file("data/pat.05"));
    const std::string camparam = readFile(dir.file("camparam.dat"));

    writeFile(dir.file("data/pat.05"), std::string("\x00\x01\x02binary\xff", 10));
    ProgramResult r = runProgram(programPath("tagharvest"), args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot load the pattern file data/pat.05"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("points/cam_true_num.txt")));
    writeFile(dir.file("data/pat.05"), pattern05);

    std::string zeroWidth = camparam;
    zeroWidth.replace(0, 4, std::string(4, '\0'));
    writeFile(dir.file("camparam.dat"), zeroWidth);
    r = runProgram(programPath("tagharvest"), args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cam_param error"), std::string::npos);
    EXPECT_NE(r.err.find("records an image size of 0 x 480"), std::string::npos) << r.err;
    writeFile(dir.file("camparam.dat"), camparam);

    // A PNG header of 20000 x 20000 pixels: refused before any decoding.
    std::string png = readFile(dir.file("images/cam000.png"));
    const unsigned char size[8] = {0, 0, 0x4e, 0x20, 0, 0, 0x4e, 0x20};
    png.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    writeFile(dir.file("images/huge000.png"), png);
    std::vector<std::string> hugeArgs = args;
    hugeArgs[1] = "images/huge%03d.png";
    r = runProgram(programPath("tagharvest"), hugeArgs, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is 20000 x 20000 = 400 megapixels, above the limit of 100"),
              std::string::npos)
        << r.err;

#if !defined(__SANITIZE_ADDRESS__)
    // Under a memory limit a photo within the pixel limit still cannot be held: the program
    // says so and fails, without an abort.
    cv::imwrite(dir.file("images/big000.png"), cv::Mat(9000, 9000, CV_8UC3, cv::Scalar(128)));
    std::string command = "ulimit -v 600000; exec " + programPath("tagharvest");
    std::vector<std::string> bigArgs = args;
    bigArgs[1] = "images/big%03d.png";
    for (const std::string& a : bigArgs) command += " '" + a + "'";
    r = runProgram("/bin/sh", {"-c", command}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("out of memory"), std::string::npos) << r.err;
#endif
}
