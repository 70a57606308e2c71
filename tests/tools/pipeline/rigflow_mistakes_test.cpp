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

// The lens models fixed: choosing them is not what these tests are about.
const std::string kFixedModels = "camera_model = standard\nprojector_distortion = 0\n";

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
         "mark_size = 25\n",
         noDamage,
         4,
         {"FAILED: camera RMS reprojection error", "mark_size, mark_space_x or mark_space_y"},
         true},
        {"the two series swapped",
         config("images/proj%03d.png", "images/cam%03d.png"),
         noDamage,
         4,
         {"FAILED: the camera and projector series look swapped",
          "exchange camera_images and projector_images"},
         true},
        {"pattern files of another seed",
         "",
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
         "",
         [](const std::string& d) {
             TempDir other;
             ASSERT_EQ(runProgram(sceneGenerator(),
                                  {"scene", "--out", "s", "--views", "1", "--camera", "800x600"},
                                  other.path())
                           .status,
                       0);
             fs::copy_file(other.file("s/images/cam000.png"), d + "/images/cam000.png",
                           fs::copy_options::overwrite_existing);
         },
         0,
         {"view 0: images/cam000.png is 800x600, not 640x480 like the series", "camera 640 x 480",
          "views used: camera 7 of 8, projector 7 of 8"}},
        {"a black photo",
         "",
         [](const std::string& d) {
             cv::imwrite(d + "/images/proj005.png", cv::Mat::zeros(480, 640, CV_8UC3));
         },
         0,
         {"view 5: images/proj005.png is blank (one grey level, 0)",
          "views used: camera 7 of 8, projector 7 of 8"}},
        {"a pair missing from the numbering",
         "",
         [](const std::string& d) {
             fs::remove(d + "/images/cam004.png");
             fs::remove(d + "/images/proj004.png");
         },
         0,
         {"view 4: no photo images/cam004.png", "views used: camera 7 of 8, projector 7 of 8"}},
        {"a second printout of a marker in the room, the board's own copy hidden",
         "",
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
         "exclude = 3, 7\n",
         noDamage,
         0,
         {"view 3: excluded (exclude)", "view 7: excluded (exclude)",
          "views used: camera 6 of 8, projector 6 of 8"}},
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
    TempDir dir;
    copyScene(dir.path(), kFixedModels, smallScene());
    const std::string rigflow = programPath("rigflow");
    ASSERT_EQ(runProgram(rigflow, {dir.path()}, ".").status, 0);
    ASSERT_TRUE(fileExists(dir.file("calibration/points_cam/cam2D003.txt")));

    writeFile(dir.file("rigflow.cfg"),
              kFixedModels + config("images/cam%03d.png", "images/proj%03d.png") + "exclude = 3\n");
    ASSERT_EQ(runProgram(rigflow, {dir.path()}, ".").status, 0);
    EXPECT_FALSE(fileExists(dir.file("calibration/points_cam/cam2D003.txt")));
    EXPECT_FALSE(fileExists(dir.file("calibration/marked/cam003.png")));
    EXPECT_FALSE(fileExists(dir.file("calibration/reproj/reprojectionCam003.png")));

    writeFile(dir.file("rigflow.cfg"), kFixedModels +
                                           config("images/cam%03d.png", "images/proj%03d.png") +
                                           "minimum_number = 63\n");
    const ProgramResult failed = runProgram(rigflow, {dir.path()}, ".");
    EXPECT_EQ(failed.status, 4);
    for (const char* result : {"camera.yaml", "projector.yaml", "stereo.yaml", "camera_errors.png",
                               "camera/Cam_mat.txt", "projector/K.txt"})
        EXPECT_FALSE(fileExists(dir.file(std::string("calibration/") + result))) << result;
    EXPECT_TRUE(fileExists(dir.file("calibration/logs/tagharvest_camera.log")));
}
