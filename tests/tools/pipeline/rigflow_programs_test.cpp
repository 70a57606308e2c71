// The argument lists rigflow hands its programs, as data: golden lists for one configuration,
// with an output folder whose '%' must reach printf patterns escaped and plain names as is.
#include "rigflow_programs.h"

#include <gtest/gtest.h>

#include "rigflow_inputs.h"

namespace {
using Args = std::vector<std::string>;

RigflowConfig config() {
    RigflowConfig c;
    c.output = "out%x";
    c.camera_images = "images/cam%03d.png";
    c.projector_images = "images/proj%03d.png";
    c.mark_size = 30.25;
    c.minimum_number = 12;
    return c;
}
}  // namespace

TEST(RigflowPrograms, TagharvestTakesTheUsedSpanOfEachSeries) {
    const RigflowConfig c = config();
    const Layout l = layoutOf(c);
    const ProgramStep camera = harvestStep(
        harvestCommand(c, false, l, "out%%x/series/camera%03d.png", {2, 3, 6}, 3), false);
    EXPECT_EQ(camera.program, "tagharvest");
    EXPECT_EQ(camera.logName, "tagharvest_camera.log");
    EXPECT_EQ(camera.title, "tagharvest: markers in the camera photos");
    EXPECT_EQ(camera.args, (Args{"--jobs",
                                 "3",
                                 "--subpixel",
                                 "projection.png",
                                 "out%%x/series/camera%03d.png",
                                 "2",
                                 "5",
                                 "50",
                                 "80",
                                 "1",
                                 "10",
                                 "5",
                                 "63",
                                 "30.25",
                                 "10",
                                 "10",
                                 "0",
                                 "0",
                                 "0",
                                 "12",
                                 "out%x/points_cam",
                                 "out%%x/marked/cam%03d.png"}));
    RigflowConfig plain = c;
    plain.subpixel = 0;
    const ProgramStep projector = harvestStep(
        harvestCommand(plain, true, l, "out%%x/series/projector%03d.png", {4}, 1), true);
    EXPECT_EQ(projector.logName, "tagharvest_projector.log");
    Args expected = camera.args;
    expected.erase(expected.begin() + 2);  // --subpixel
    expected[1] = "1";
    expected[3] = "out%%x/series/projector%03d.png";
    expected[4] = "4";
    expected[5] = "1";
    expected[15] = expected[17] = "1";  // projected centres, projector mode
    expected[19] = "out%x/points_proj";
    expected[20] = "out%%x/marked/proj%03d.png";
    EXPECT_EQ(projector.args, expected);
}

TEST(RigflowPrograms, TagharvestOptionsPrecedeItsNineteenArguments) {
    HarvestCommand h;
    h.projection = "p.png";
    h.cameraImages = "c%d.png";
    h.subpixel = true;
    h.detectScale = 0.5;
    h.arThresh = 1.0 / 3;
    const Args args = harvestCommandLine(h);
    ASSERT_EQ(args.size(), 3u + kHarvestPositionalCount);
    EXPECT_EQ((Args{args.begin(), args.begin() + 5}),
              (Args{"--subpixel", "--detect-scale", "0.5", "p.png", "c%d.png"}));
    EXPECT_EQ(args[7], "0.333333333333333") << "the threshold at full precision";
    h.subpixel = false;
    h.detectScale = 0;
    EXPECT_EQ(harvestCommandLine(h).size(), static_cast<std::size_t>(kHarvestPositionalCount));
}

TEST(RigflowPrograms, LensrigGetsTheChosenModelsNumber) {
    RigflowConfig c = config();
    const Layout l = layoutOf(c);
    const Args expected = {"--size",
                           "1280x960",
                           "--results",
                           "out%x/camera/lensrig_results.yaml",
                           "images/cam%03d.png",
                           "out%%x/points_cam/cam2D%03d.txt",
                           "out%%x/points_cam/cam3D%03d.txt",
                           "out%x/points_cam/cam_true_num.txt",
                           "1",
                           "out%x/camera",
                           "out%x/reproj",
                           "100"};
    const ProgramStep rational = lensrigStep(c, l, cv::Size(1280, 960), LensModel::kRational);
    EXPECT_EQ(rational.args, expected);
    EXPECT_EQ(rational.title, "lensrig: camera calibration (rational lens model)");
    EXPECT_EQ(rational.logName, "lensrig.log");
    c.camera_images.clear();  // given points without photos
    Args standard = expected;
    standard[4] = "-";
    standard[8] = "2";
    EXPECT_EQ(lensrigStep(c, l, cv::Size(1280, 960), LensModel::kStandard).args, standard);
}

TEST(RigflowPrograms, WarpdotsAndLumenrigReadTheUndistortedPoints) {
    const RigflowConfig c = config();
    const Layout l = layoutOf(c);
    const std::vector<ProgramStep> warp = warpdotsSteps(l);
    ASSERT_EQ(warp.size(), 2u);
    EXPECT_EQ(warp[0].args, (Args{"out%x/points_cam/cam_true_num.txt", "out%x/camera/Cam_mat.txt",
                                  "out%x/camera/dist.txt", "out%%x/points_cam/cam2D%03d.txt",
                                  "out%%x/undistorted/cam2D%03d.txt"}));
    EXPECT_EQ(warp[1].args, (Args{"out%x/points_proj/proj_true_num.txt", "out%x/camera/Cam_mat.txt",
                                  "out%x/camera/dist.txt", "out%%x/points_proj/proj2D%03d.txt",
                                  "out%%x/undistorted/proj2D%03d.txt"}));
    EXPECT_EQ(warp[1].logName, "warpdots_projector.log");
    const ProgramStep lumenrig =
        lumenrigStep(c, l, cv::Size(1280, 960), cv::Size(1024, 768), LensModel::kStandard);
    EXPECT_EQ(lumenrig.args, (Args{"--results",
                                   "out%x/projector/lumenrig_results.yaml",
                                   "out%x/points_cam/cam_true_num.txt",
                                   "images/cam%03d.png",
                                   "out%%x/undistorted/cam2D%03d.txt",
                                   "out%%x/points_cam/cam3D%03d.txt",
                                   "1280",
                                   "960",
                                   "out%x/points_proj/proj_true_num.txt",
                                   "images/proj%03d.png",
                                   "out%%x/undistorted/proj2D%03d.txt",
                                   "out%%x/points_proj/pattern%03d.txt",
                                   "1024",
                                   "768",
                                   "out%x/projector/R.txt",
                                   "out%x/projector/T.txt",
                                   "out%x/projector/F.txt",
                                   "out%x/projector/K.txt",
                                   "out%x/projector/D.txt",
                                   "1"}));
    RigflowConfig raw = c;
    raw.undistort = 0;
    const Args rawArgs =
        lumenrigStep(raw, l, cv::Size(1280, 960), cv::Size(1024, 768), LensModel::kNone).args;
    EXPECT_EQ(rawArgs[4], "out%%x/points_cam/cam2D%03d.txt");
    EXPECT_EQ(rawArgs[10], "out%%x/points_proj/proj2D%03d.txt");
    EXPECT_EQ(rawArgs.back(), "0");
}

TEST(RigflowPrograms, TwoDetectionsShareTheJobs) {
    struct Case {
        int jobs, detections, first, second;
    };
    for (const Case& c : {Case{4, 2, 2, 2}, Case{5, 2, 3, 2}, Case{1, 2, 1, 1}, Case{3, 1, 3, 3}}) {
        SCOPED_TRACE(std::to_string(c.jobs) + " jobs, " + std::to_string(c.detections));
        RigflowConfig config;
        config.jobs = c.jobs;
        EXPECT_EQ(detectionJobs(config, c.detections, 0), c.first);
        EXPECT_EQ(detectionJobs(config, c.detections, c.detections - 1), c.second);
    }
}
