// What rigflow must never do, end to end: delete or write over what it did not write, take a
// '%' in a folder name for a conversion, list every number up to a stray photo, or let a
// degenerate input reach a program. Each bad input ends with its exit status and a message.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "rigflow_scene.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
// Models fixed, no joint solve: these tests are about files and names, not accuracy.
const std::string kFixedModels =
    "camera_model = standard\nprojector_distortion = 0\nrefine = chain\n";
// The fewest photos a calibration takes, for tests that need one to succeed but not to be good.
const std::string kFewViews = "image_num = 3\nmin_views = 3\n";

// Every file below dir with its content: what must survive a run untouched.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[e.path().string()] = readFile(e.path().string());
    return files;
}

// A folder of result-named decoys (what an earlier careless rigflow deleted).
void plantDecoys(const std::string& dir) {
    for (const char* folder : {"camera", "logs", "marked", "series", "points_cam", "reproj"}) {
        fs::create_directories(dir + "/" + folder);
        writeFile(dir + "/" + folder + "/keep.txt", "decoy");
    }
    for (const char* file : {"report.html", "camera.yaml", "FAILED.txt", "calibration.json"})
        writeFile(dir + "/" + file, "decoy");
}

ProgramResult rigflow(const std::string& dir) {
    return runProgram(programPath("rigflow"), {dir}, ".");
}

struct Probe {
    std::string name;
    std::string config;                              // lines added to rigflow.cfg
    std::function<void(const std::string&)> damage;  // done to the copied scene
    int status;
    std::string said;
};

void none(const std::string&) {}

// Given camera correspondences: views 0 and 1, a 5 x 4 grid seen under two tilts, then
// edited by the probe.
void givenPoints(const std::string& d, const std::function<void(const std::string&)>& edit) {
    fs::create_directories(d + "/pts");
    for (int v = 0; v < 2; ++v) {
        std::string image, board;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const double w = 1 + 0.0005 * (v + 1) * x * 40;
                image += std::to_string((100 + 40 * x + 5 * y) / w) + " " +
                         std::to_string((80 + 3 * x + 40 * y) / w) + "\n";
                board += std::to_string(30 * x) + " " + std::to_string(30 * y) + " 0\n";
            }
        writeFile(d + "/pts/cam2D00" + std::to_string(v) + ".txt", image);
        writeFile(d + "/pts/cam3D00" + std::to_string(v) + ".txt", board);
    }
    writeFile(d + "/pts/cam_true_num.txt", "0\n1\n");
    edit(d + "/pts");
    writeFile(d + "/rigflow.cfg", "camera_points = pts\ncamera_size = 640x480\n");
}
}  // namespace

// Bad input → exit status → message, all before or instead of any program's assertion.
TEST(RigflowSafety, BadInputsAreNamedWithTheirExitStatus) {
    const std::vector<Probe> probes = {
        {"output above WORKDIR", "output = ..\n", none, 2, "is not a folder inside"},
        {"output two above", "output = ../..\n", none, 2, "is not a folder inside"},
        {"output elsewhere", "output = /tmp\n", none, 2, "is not a folder inside"},
        {"output the root", "output = /\n", none, 2, "is not a folder inside"},
        {"output back into WORKDIR", "output = nosuch/..\n", none, 2, "is not a folder inside"},
        {"output a file", "output = rigflow.cfg\n", none, 2, "is a file, not a folder"},
        {"output too long", "output = " + std::string(230, 'o') + "\n", none, 2,
         "characters long; the programs take file names of at most 255"},
        {"photos inside the output", "",
         [](const std::string& d) {
             fs::create_directories(d + "/calibration");
             fs::rename(d + "/images", d + "/calibration/camera");
             writeFile(d + "/rigflow.cfg",
                       "camera_images = calibration/camera/cam%03d.png\n"
                       "projector_images = calibration/camera/proj%03d.png\n");
         },
         2, "holds camera_images (calibration/camera)"},
        {"photos numbered beyond tagharvest's tables", "",
         [](const std::string& d) {
             for (const char* s : {"cam", "proj"})
                 for (int n = 0; n < 2; ++n)
                     fs::rename(d + "/images/" + s + "00" + std::to_string(n) + ".png",
                                d + "/images/" + s + "60" + std::to_string(n) + ".png");
         },
         2, "photos numbered 600, 601 are beyond 299, the highest image number tagharvest takes"},
        {"a byte-order mark and a '#' inside a value", "",
         [](const std::string& d) {
             writeFile(d + "/rigflow.cfg",
                       "\xEF\xBB\xBF"
                       "camera_images = images/cam%03d.png\n"
                       "projector_images = images/proj%03d.png # the projected pattern\n"
                       "output = out#1\nmin_views = 7\n");
         },
         4, "FAILED: camera views: 2 of 2 usable, min_views = 7"},
        {"a key given twice", "camera_model = rational\n", none, 2,
         "line 7: camera_model is set again (first on line 4): keep one of the two lines"},
        {"an invisible byte before a key", "\x01mark_size = 3\n", none, 2,
         "unknown key \\x01mark_size"},
        {"a threshold sweep to 255", "thresh_first = 255\nthresh_interval = 255\n", none, 2,
         "thresh_first = 255, thresh_interval = 255, thresh_repeat_num = 5 sweep up to"},
        {"a projection image of one pixel", "",
         [](const std::string& d) {
             cv::imwrite(d + "/projection.png", cv::Mat(1, 1, CV_8UC3, cv::Scalar(255, 255, 255)));
         },
         2, "projection_image = projection.png is 1x1: too small"},
        {"a projection image without markers", "",
         [](const std::string& d) {
             cv::imwrite(d + "/projection.png",
                         cv::Mat(768, 1024, CV_8UC3, cv::Scalar(255, 255, 255)));
         },
         4, "FAILED: no marker of the pattern files data/pat.NN could be identified"},
        {"no photo with enough markers", "minimum_number = 63\n", none, 4,
         "tagforge patterns with the same --seed"},
        {"given points that pass the checks", "",
         [](const std::string& d) { givenPoints(d, none); }, 4,
         "FAILED: camera views: 2 of 2 usable, min_views = 6"},
        {"a view listed six times", "",
         [](const std::string& d) {
             givenPoints(d, [](const std::string& p) {
                 writeFile(p + "/cam_true_num.txt", "0\n0\n0\n0\n0\n0\n");
             });
         },
         2, "camera_points: pts/cam_true_num.txt: view 0 is listed 6 times"},
        {"a view of four points", "",
         [](const std::string& d) {
             givenPoints(d, [](const std::string& p) {
                 writeFile(p + "/cam2D001.txt", "1 1\n2 1\n2 2\n1 2\n");
                 writeFile(p + "/cam3D001.txt", "0 0 0\n1 0 0\n1 1 0\n0 1 0\n");
             });
         },
         2, "view 1: only 4 points"},
        {"empty point files", "",
         [](const std::string& d) {
             givenPoints(d, [](const std::string& p) {
                 writeFile(p + "/cam2D000.txt", "");
                 writeFile(p + "/cam3D000.txt", "");
             });
         },
         2, "view 0: only 0 points"},
        {"a listed view without files", "",
         [](const std::string& d) {
             givenPoints(
                 d, [](const std::string& p) { writeFile(p + "/cam_true_num.txt", "0\n1\n7\n"); });
         },
         2, "view 7: cannot read"},
        {"a true number beyond lensrig's tables", "",
         [](const std::string& d) {
             givenPoints(
                 d, [](const std::string& p) { writeFile(p + "/cam_true_num.txt", "0\n600\n"); });
         },
         2, "view 600 is outside 0 to 511, the image numbers lensrig takes"},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.name);
        TempDir dir;
        copyScene(dir.path(), kFixedModels + p.config, tinyScene());
        p.damage(dir.path());
        const ProgramResult r = rigflow(dir.path());
        EXPECT_EQ(r.status, p.status) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(p.said), std::string::npos) << p.said << "\n"
                                                                   << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find("error: ("), std::string::npos) << "an OpenCV assertion";
        EXPECT_EQ((r.out + r.err).find("filesystem error"), std::string::npos);
    }
}

// Outputs that are not a folder of WORKDIR's own: the decoys there, and the photos, survive.
TEST(RigflowSafety, OutputsOutsideWorkdirDeleteNothing) {
    TempDir root;
    const std::string work = root.file("a/b/work");
    fs::create_directories(work);
    fs::create_directories(root.file("elsewhere"));
    for (const std::string& d : {root.file("a/b"), root.file("a"), root.file("elsewhere")})
        plantDecoys(d);
    const auto before = snapshot(root.path());
    for (const std::string& output :
         {std::string(".."), std::string("../.."), root.file("elsewhere"), std::string("/"),
          std::string("nosuch/..")}) {
        SCOPED_TRACE(output);
        fs::remove_all(work);
        fs::create_directories(work);
        copyScene(work, "output = " + output + "\n", tinyScene());
        const auto inputs = snapshot(work);
        EXPECT_EQ(rigflow(work).status, 2);
        EXPECT_EQ(snapshot(work), inputs);
    }
    fs::remove_all(work);
    EXPECT_EQ(snapshot(root.path()), before);
}

// calibration as a link to another folder, photos and point files kept in the output folder:
// refused, every file untouched.
TEST(RigflowSafety, LinkedOrInputHoldingOutputsAreRefused) {
    TempDir dir, other;
    plantDecoys(other.path());
    copyScene(dir.path(), kFixedModels, tinyScene());
    fs::create_directory_symlink(other.path(), dir.file("calibration"));
    const auto decoys = snapshot(other.path());
    ProgramResult r = rigflow(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not a folder inside"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(other.path()), decoys);

    // The camera points kept where the default output would clear them.
    fs::remove(dir.file("calibration"));
    fs::create_directories(dir.file("calibration"));
    givenPoints(dir.path(), none);
    fs::rename(dir.file("pts"), dir.file("calibration/camera"));
    writeFile(dir.file("rigflow.cfg"),
              "camera_points = calibration/camera\ncamera_size = 640x480\n");
    const auto points = snapshot(dir.path());
    r = rigflow(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds camera_points (calibration/camera)"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(dir.path()), points);

    // An earlier result without a manifest is not rigflow's to replace.
    fs::remove_all(dir.file("calibration"));
    writeFile(dir.file("rigflow.cfg"),
              "camera_images = images/cam%03d.png\nprojector_images = images/proj%03d.png\n");
    plantDecoys(dir.file("calibration"));
    const auto earlier = snapshot(dir.path());
    r = rigflow(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("was not written by rigflow (rigflow-manifest.txt does not list it)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(snapshot(dir.path()), earlier);
}

// The clean-up removes what the manifest lists and nothing else: a foreign file is named and
// kept, a link the user put in place of a result folder is removed without its target, and a
// manifest line that leaves the folder is ignored.
TEST(RigflowSafety, CleanUpRemovesOnlyWhatTheManifestLists) {
    TempDir dir, other;
    copyScene(dir.path(), kFixedModels + kFewViews, smallScene());
    fs::create_directories(dir.file("calibration"));
    writeFile(dir.file("calibration/notes.txt"), "mine");
    ProgramResult r = rigflow(dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("note: calibration holds 1 entry rigflow did not write, left alone: "
                         "notes.txt"),
              std::string::npos)
        << r.out;
    const std::string manifest = readFile(dir.file("calibration/rigflow-manifest.txt"));
    EXPECT_NE(manifest.find("\ncamera/Cam_mat.txt\n"), std::string::npos);
    EXPECT_EQ(manifest.find("notes.txt"), std::string::npos);

    plantDecoys(other.path());
    writeFile(other.path() + "/Cam_mat.txt", "decoy");
    fs::remove_all(dir.file("calibration/camera"));
    fs::create_directory_symlink(other.path(), dir.file("calibration/camera"));
    writeFile(dir.file("calibration/rigflow-manifest.txt"),
              manifest + "../rigflow.cfg\n" + dir.file("images/cam000.png") + "\n");
    const auto decoys = snapshot(other.path());
    r = rigflow(dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(snapshot(other.path()), decoys);
    EXPECT_EQ(readFile(dir.file("calibration/notes.txt")), "mine");
    EXPECT_TRUE(fileExists(dir.file("rigflow.cfg")));
    EXPECT_TRUE(fileExists(dir.file("images/cam000.png")));
    EXPECT_FALSE(fs::is_symlink(dir.file("calibration/camera")));
    EXPECT_TRUE(fileExists(dir.file("calibration/camera/Cam_mat.txt")));
}

// '%' in the output folder and in a points folder is a letter: the runs end as usual with
// the folders named as written.
TEST(RigflowSafety, PercentInFolderNamesIsLiteral) {
    TempDir dir;
    const std::string output = "out%n%x%x%999999999d%%";
    copyScene(dir.path(), kFixedModels + kFewViews + "output = " + output + "\n", smallScene());
    ProgramResult r = rigflow(dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fileExists(dir.file(output + "/camera.yaml")));
    EXPECT_TRUE(fileExists(dir.file(output + "/marked/cam001.png")));
    EXPECT_TRUE(fileExists(dir.file(output + "/undistorted/proj2D001.txt")));

    fs::copy(dir.file(output + "/points_cam"), dir.file("pts%d"), fs::copy_options::recursive);
    writeFile(dir.file("rigflow.cfg"),
              "camera_points = pts%d\ncamera_size = 640x480\ncamera_model = "
              "standard\ncamera_images = images/cam%03d.png\n" +
                  kFewViews);
    r = rigflow(dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("views used: camera 3 of 3"), std::string::npos) << r.out;
    EXPECT_TRUE(fileExists(dir.file("calibration/reproj/reprojectionCam001.png")));
}

// A date-stamped photo among the series: named and left out, no line per missing number,
// within a memory limit (the sanitizer builds reserve too much address space for one).
TEST(RigflowSafety, AStrayPhotoNumberIsNamedAndLeftOut) {
    TempDir dir;
    copyScene(dir.path(), kFixedModels + "image_num = 0\n", smallScene());
    fs::copy_file(dir.file("images/cam000.png"), dir.file("images/cam20240115.png"));
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 2000000; ";
#endif
#else
    const std::string limit = "ulimit -v 2000000; ";
#endif
    const ProgramResult r = runProgram(
        "/bin/sh", {"-c", limit + "exec '" + programPath("rigflow") + "' '" + dir.path() + "'"},
        ".");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("note: photos numbered 20240115 lie far from the series (0 .. 7) and "
                         "are not used"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("8 of 8 views used"), std::string::npos) << r.out;
    EXPECT_LT(r.out.size() + r.err.size(), 20000u);
    EXPECT_LT(fs::file_size(dir.file("calibration/report.html")), 4000000u);
}
