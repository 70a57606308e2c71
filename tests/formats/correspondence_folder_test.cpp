#include "correspondence_folder.h"

#include <gtest/gtest.h>

// The names tagharvest writes and lensrig, lumenrig and rigflow read, to the letter.
TEST(FormatsCorrespondenceFolder, FileNamesAsWritten) {
    EXPECT_EQ(trueNumberFile("pts", false), "pts/cam_true_num.txt");
    EXPECT_EQ(trueNumberFile("out/points_proj", true), "out/points_proj/proj_true_num.txt");
    struct Row {
        PointFile kind;
        const char* file;
        const char* pattern;
    };
    const Row rows[] = {
        {PointFile::kCameraImage, "pts/cam2D007.txt", "pts/cam2D%03d.txt"},
        {PointFile::kCameraBoard, "pts/cam3D007.txt", "pts/cam3D%03d.txt"},
        {PointFile::kProjectedImage, "pts/proj2D007.txt", "pts/proj2D%03d.txt"},
        {PointFile::kProjectedPattern, "pts/pattern007.txt", "pts/pattern%03d.txt"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        EXPECT_EQ(pointFile("pts", r.kind, 7), r.file);
        EXPECT_EQ(pointFilePattern("pts", r.kind), r.pattern);
        EXPECT_EQ("pts/" + pointFileNamePattern(r.kind), r.pattern);
    }
    EXPECT_EQ(pointFile("pts", PointFile::kCameraImage, 1234), "pts/cam2D1234.txt");
}

// A folder with a '%' is taken literally in a name and escaped in a pattern, so that the
// tools that expand the pattern find the same file.
TEST(FormatsCorrespondenceFolder, PercentInFolderStaysLiteral) {
    EXPECT_EQ(pointFile("100%", PointFile::kCameraBoard, 3), "100%/cam3D003.txt");
    EXPECT_EQ(pointFilePattern("100%", PointFile::kCameraBoard), "100%%/cam3D%03d.txt");
}

// A projector view pairs with the camera view of its image number, wherever that stands.
TEST(FormatsCorrespondenceFolder, ProjectorViewPairsByImageNumber) {
    const std::vector<int> camera = {4, 0, 9, 2};
    struct Row {
        int projector, cameraView;
    };
    for (const Row& r : {Row{4, 0}, Row{0, 1}, Row{9, 2}, Row{2, 3}, Row{3, -1}, Row{-1, -1}}) {
        SCOPED_TRACE(r.projector);
        EXPECT_EQ(pairedCameraView(camera, r.projector), r.cameraView);
    }
    EXPECT_EQ(pairedCameraView({}, 0), -1);
}
