// The operator's common mistakes, end to end on a small generated scene: each ends with the exit
// status that says whether the result can be trusted and a diagnosis that names the fix.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "rigflow_scene.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
struct Mistake {
    std::string name;
    std::string config;                              // lines added to rigflow.cfg
    std::function<void(const std::string&)> damage;  // done to the copied scene
    int status;
    std::vector<std::string> said;  // in stdout or stderr
    // status 4 after the calibration was written: report.html and camera.yaml carry the failure
    bool resultsWritten = false;
};

void noDamage(const std::string&) {}

// The lens models fixed and the joint solve skipped: choosing models and refining the rig are
// not what these tests are about, and each run costs a full detection and calibration.
const std::string kFixedModels =
    "camera_model = standard\nprojector_distortion = 0\nrefine = chain\n";

// The fewest photos of the scene a calibration takes: enough for a check to pass or fail.
const std::string kFewViews = "image_num = 3\nmin_views = 3\n";
// Six photos, of which two may be lost and the calibration still succeeds.
const std::string kSixViews = "image_num = 6\nmin_views = 4\n";

void runMistakes(const std::vector<Mistake>& mistakes) {
    for (const Mistake& m : mistakes) {
        SCOPED_TRACE(m.name);
        TempDir dir;
        copyScene(dir.path(), kFixedModels + m.config, smallScene());
        m.damage(dir.path());
        const ProgramResult r = runProgram(programPath("rigflow"), {dir.path()}, ".");
        EXPECT_EQ(r.status, m.status) << r.out << r.err;
        for (const std::string& text : m.said)
            EXPECT_NE((r.out + r.err).find(text), std::string::npos) << text << "\n"
                                                                     << r.out << r.err;
        if (m.status == 4) {
            EXPECT_TRUE(fileExists(dir.file("calibration/FAILED.txt")));
            EXPECT_EQ(fileExists(dir.file("calibration/report.html")), m.resultsWritten);
            EXPECT_EQ(fileExists(dir.file("calibration/camera.yaml")), m.resultsWritten);
            if (m.resultsWritten) {
                EXPECT_NE(readFile(dir.file("calibration/report.html")).find("FAILED: "),
                          std::string::npos)
                    << "the report opens with the failed check";
                cv::FileStorage cam(dir.file("calibration/camera.yaml"), cv::FileStorage::READ);
                EXPECT_EQ(static_cast<std::string>(cam["checks"]).rfind("FAILED: ", 0), 0u);
            }
        }
    }
}

std::string config(const std::string& camera, const std::string& projector) {
    return "camera_images = " + camera + "\nprojector_images = " + projector + "\n";
}
}  // namespace

TEST(RigflowMistakes, UntrustworthyResultsFailTheirChecks) {
    runMistakes({
        {"the board measured wrong",
         kFewViews + "mark_size = 25\n",
         noDamage,
         4,
         {"FAILED: camera RMS reprojection error", "mark_size, mark_space_x or mark_space_y"},
         true},
        {"the two series swapped",
         kFewViews + config("images/proj%03d.png", "images/cam%03d.png"),
         noDamage,
         4,
         {"FAILED: the camera and projector series look swapped",
          "exchange camera_images and projector_images"},
         true},
        {"pattern files of another seed",
         kFewViews,
         [](const std::string& d) {
             fs::remove_all(d + "/data");
             ASSERT_EQ(runProgram(programPath("tagforge"),
                                  {"patterns", "--out", "data", "--seed", "2"}, d)
                           .status,
                       0);
         },
         4,
         {"FAILED: no marker of the pattern files data/pat.NN could be identified in the "
          "projection image projection.png",
          "tagforge patterns --out data --seed S"}},
        {"too few views left",
         "exclude = 0, 1, 2\n",
         noDamage,
         4,
         {"FAILED: camera views: 5 of 5 usable, min_views = 6"}},
    });
}

TEST(RigflowMistakes, UnusableViewsAreNamedAndTheRestIsUsed) {
    runMistakes({
        {"the first photo at another resolution",
         kSixViews,
         [](const std::string& d) {
             // the same photo scaled: a camera of another resolution, no scene to generate
             const cv::Mat photo = cv::imread(d + "/images/cam000.png");
             cv::Mat larger;
             cv::resize(photo, larger, cv::Size(800, 600));
             cv::imwrite(d + "/images/cam000.png", larger);
         },
         0,
         {"view 0: images/cam000.png is 800x600, not 640x480 like the series", "camera 640 x 480",
          "views used: camera 5 of 6, projector 5 of 6"}},
        {"a black photo",
         kSixViews,
         [](const std::string& d) {
             cv::imwrite(d + "/images/proj005.png", cv::Mat::zeros(480, 640, CV_8UC3));
         },
         0,
         {"view 5: images/proj005.png is blank (one grey level, 0)",
          "views used: camera 5 of 6, projector 5 of 6"}},
        {"a pair missing from the numbering",
         kSixViews,
         [](const std::string& d) {
             fs::remove(d + "/images/cam004.png");
             fs::remove(d + "/images/proj004.png");
         },
         0,
         {"view 4: no photo images/cam004.png", "views used: camera 5 of 6, projector 5 of 6"}},
        {"a second printout of a marker in the room, the board's own copy hidden",
         kSixViews,
         [](const std::string& d) {
             cv::FileStorage truth(smallScene() + "/truth.yaml", cv::FileStorage::READ);
             cv::Mat corners;
             truth["view"][0]["corners"] >> corners;
             std::vector<cv::Point2f> quad;
             for (int p = 0; p < 4; ++p)
                 quad.emplace_back(static_cast<float>(corners.at<double>(24, 1 + 2 * p)),
                                   static_cast<float>(corners.at<double>(24, 2 + 2 * p)));
             cv::Rect box = cv::boundingRect(quad);
             const int grow = box.width / 5;
             box =
                 cv::Rect(box.x - grow, box.y - grow, box.width + 2 * grow, box.height + 2 * grow);
             cv::Mat photo = cv::imread(d + "/images/cam000.png");
             // the board's copy and its black border painted over, the neighbours untouched
             const cv::Point2f c = 0.25f * (quad[0] + quad[1] + quad[2] + quad[3]);
             std::vector<cv::Point> cover;
             for (const cv::Point2f& q : quad) cover.emplace_back(c + 1.08f * (q - c));
             const cv::Mat original = photo.clone();
             cv::fillConvexPoly(photo, cover, cv::Scalar(235, 235, 235));
             original(box).copyTo(photo(cv::Rect(2, 2, box.width, box.height)));
             cv::imwrite(d + "/images/cam000.png", photo);
         },
         0,
         {"warning: the detector dropped 1 marker(s) it could not trust (1 off their place on the "
          "board, 0 with broken edges): camera photo 0 id 24",
          "tagharvest_*.log"}},
        {"two views excluded",
         kSixViews + "exclude = 3, 5\n",
         noDamage,
         0,
         {"view 3: excluded (exclude)", "view 5: excluded (exclude)",
          "views used: camera 4 of 6, projector 4 of 6"}},
    });
}

TEST(RigflowMistakes, WrongNamesGetHintsFromTheFilesThatExist) {
    runMistakes({
        {"another extension",
         config("images/cam%03d.jpg", "images/proj%03d.png"),
         noDamage,
         2,
         {"no photo images/cam%03d.jpg from number 0",
          "the folder holds images/cam000.png: set camera_images = images/cam%03d.png"}},
        {"another zero padding",
         config("images/cam%03d.png", "images/proj%d.png"),
         noDamage,
         2,
         {"set projector_images = images/proj%03d.png"}},
        {"another folder",
         config("photos/cam%03d.png", "images/proj%d.png"),
         noDamage,
         2,
         {"there is no folder photos"}},
        {"numbered from 1 with image_num",
         "first_num = 1\nimage_num = 8\n",
         noDamage,
         0,
         {"photos numbered 0 lie outside first_num .. first_num + image_num - 1",
          "view 8: no photo images/cam008.png"}},
        {"no configuration file",
         "",
         [](const std::string& d) { fs::remove(d + "/rigflow.cfg"); },
         2,
         {"no configuration file", "camera_images = images/cam%03d.png", "mark_size = 30"}},
    });
}

// A rerun writes its results afresh; after a failed rerun nothing earlier looks current.
TEST(RigflowMistakes, RerunsLeaveNothingStale) {
    // Four photos, three after view 3 is excluded: enough for a calibration to succeed.
    const std::string fewViews = "image_num = 4\nmin_views = 3\n";
    TempDir dir;
    copyScene(dir.path(), kFixedModels + fewViews, smallScene());
    const std::string rigflow = programPath("rigflow");
    ASSERT_EQ(runProgram(rigflow, {dir.path()}, ".").status, 0);
    ASSERT_TRUE(fileExists(dir.file("calibration/points_cam/cam2D003.txt")));
    // Written by the first run, so their absence after the failed one means they were removed.
    const std::vector<std::string> results = {"camera.yaml",        "projector.yaml",
                                              "stereo.yaml",        "camera_errors.png",
                                              "camera/Cam_mat.txt", "projector/K.txt"};
    for (const std::string& result : results)
        ASSERT_TRUE(fileExists(dir.file("calibration/" + result))) << result;

    writeFile(dir.file("rigflow.cfg"), kFixedModels + fewViews +
                                           config("images/cam%03d.png", "images/proj%03d.png") +
                                           "exclude = 3\n");
    ASSERT_EQ(runProgram(rigflow, {dir.path()}, ".").status, 0);
    EXPECT_FALSE(fileExists(dir.file("calibration/points_cam/cam2D003.txt")));
    EXPECT_FALSE(fileExists(dir.file("calibration/marked/cam003.png")));
    EXPECT_FALSE(fileExists(dir.file("calibration/reproj/reprojectionCam003.png")));

    writeFile(dir.file("rigflow.cfg"), kFixedModels +
                                           config("images/cam%03d.png", "images/proj%03d.png") +
                                           fewViews + "minimum_number = 63\n");
    const ProgramResult failed = runProgram(rigflow, {dir.path()}, ".");
    EXPECT_EQ(failed.status, 4);
    for (const std::string& result : results)
        EXPECT_FALSE(fileExists(dir.file("calibration/" + result))) << result;
    EXPECT_TRUE(fileExists(dir.file("calibration/logs/tagharvest_camera.log")));
}
