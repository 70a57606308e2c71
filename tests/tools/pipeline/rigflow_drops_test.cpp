// The dropped-marker warning from the drops.txt files the detector writes in its points
// folders: counted once per marker and image, named up to eight; a missing or malformed file
// is a warning of its own, never "nothing dropped".
#include "rigflow_drops.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {
std::vector<MarkerDrop> dropsFrom(const std::string& text) {
    TempDir dir;
    writeFile(dir.file(kDropsFileName), text);
    std::vector<MarkerDrop> drops;
    std::string error;
    EXPECT_EQ(readMarkerDrops(dir.file(kDropsFileName), &drops, &error), 0) << error;
    return drops;
}

const std::string kCauses =
    "each is named with its reason in out/logs/tagharvest_*.log; hands, stray printouts or "
    "reflections over the board cause them: harmless when few, else retake those photos";
}  // namespace

TEST(RigflowDrops, EachMarkerCountsOnceWithItsReason) {
    // The sweep and the adaptive pass drop camera marker 17 of image 3 twice; the projector's
    // marker of the same number and image is another marker.
    const std::vector<SeriesDrops> series = {
        {"camera photo", dropsFrom("# image id reason error_px\n3 17 board 4.213\n"
                                   "3 17 board 4.1\n5 2 edges 0.8\n")},
        {"projector photo", dropsFrom("3 17 board 2.5\n")}};
    Finding finding{};
    ASSERT_TRUE(droppedMarkersFinding(series, "out/logs", &finding));
    EXPECT_FALSE(finding.failed);
    EXPECT_EQ(finding.what,
              "the detector dropped 3 marker(s) it could not trust (2 off their place on the "
              "board, 1 with broken edges): camera photo 3 id 17, camera photo 5 id 2, projector "
              "photo 3 id 17");
    EXPECT_EQ(finding.causes, kCauses);
}

TEST(RigflowDrops, BeyondEightTheRestIsElided) {
    std::string text;
    for (int id = 0; id < 10; ++id) text += "1 " + std::to_string(id) + " edges 0.5\n";
    Finding finding{};
    ASSERT_TRUE(droppedMarkersFinding({{"camera photo", dropsFrom(text)}}, "out/logs", &finding));
    EXPECT_EQ(finding.what,
              "the detector dropped 10 marker(s) it could not trust (0 off their place on the "
              "board, 10 with broken edges): camera photo 1 id 0, camera photo 1 id 1, camera "
              "photo 1 id 2, camera photo 1 id 3, camera photo 1 id 4, camera photo 1 id 5, "
              "camera photo 1 id 6, camera photo 1 id 7, …");
}

TEST(RigflowDrops, NoDropsNoWarning) {
    Finding finding{};
    EXPECT_FALSE(droppedMarkersFinding({}, "out/logs", &finding));
    EXPECT_FALSE(droppedMarkersFinding(
        {{"camera photo", dropsFrom("# image id reason error_px\n")}}, "out/logs", &finding));
    EXPECT_TRUE(finding.what.empty());
}

TEST(RigflowDrops, ARunReadsThePointsFolderOfEachDetectedSeries) {
    TempDir dir;
    RigflowRun run;
    run.workDir = dir.path();
    run.layout.pointsCam = "out/points_cam";
    run.layout.pointsProj = "out/points_proj";
    run.layout.logs = "out/logs";
    fs::create_directories(dir.file("out/points_cam"));
    fs::create_directories(dir.file("out/points_proj"));
    noteDroppedMarkers(&run);
    ASSERT_EQ(run.findings.size(), 2u) << "no drops.txt: the drops are unknown";
    EXPECT_FALSE(run.findings[0].failed);
    EXPECT_EQ(run.findings[0].what,
              "the camera photo detection's dropped markers are unknown: cannot read " +
                  dir.file("out/points_cam/drops.txt"));
    EXPECT_EQ(run.findings[0].causes,
              "the detector writes out/points_cam/drops.txt on every run; a file changed or "
              "removed since, or a detector of another version, leaves it so: run rigflow "
              "again to detect afresh");
    EXPECT_EQ(run.findings[1].what,
              "the projector photo detection's dropped markers are unknown: cannot read " +
                  dir.file("out/points_proj/drops.txt"));

    run.findings.clear();
    writeFile(dir.file("out/points_cam/drops.txt"), "# image id reason error_px\n0 24 far 6.5\n");
    run.plan.detectProjector = false;
    noteDroppedMarkers(&run);
    ASSERT_EQ(run.findings.size(), 1u);
    EXPECT_EQ(run.findings[0].what,
              "the camera photo detection's dropped markers are unknown: " +
                  dir.file("out/points_cam/drops.txt") +
                  " line 2: \"0 24 far 6.5\" is not: image id board|edges error_px");

    run.findings.clear();
    run.plan.detectProjector = true;
    writeFile(dir.file("out/points_cam/drops.txt"), "0 24 board 6.5\n");
    writeFile(dir.file("out/points_proj/drops.txt"), "2 9 board 3.0\n");
    run.plan.detectProjector = false;  // given projector points: their folder is not read
    noteDroppedMarkers(&run);
    ASSERT_EQ(run.findings.size(), 1u);
    EXPECT_EQ(run.findings[0].what,
              "the detector dropped 1 marker(s) it could not trust (1 off their place on the "
              "board, 0 with broken edges): camera photo 0 id 24");
    EXPECT_EQ(run.findings[0].causes, kCauses);
}
