// tagharvest run as a program: exact console texts, report and file layouts, and the
// handling of bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>

#include "harvest_fixture.h"

namespace fs = std::filesystem;

namespace {
constexpr int kViews = 3;  // of the shared scene's 4

const std::string& scene() {
    return harvestScene();
}

class Tagharvest : public testing::Test {
  protected:
    void SetUp() override { prepareWorkDir(scene(), work.path()); }
    HarvestArgs cameraArgs() const {
        HarvestArgs a;
        a.projection = scene() + "/projection.png";
        a.cameraImages = scene() + "/images/cam%03d.png";
        a.count = kViews;
        return a;
    }
    ProgramResult run(const HarvestArgs& a) { return runHarvest(a, work.path()); }
    std::string file(const std::string& name) const { return readFile(work.file(name)); }
    TempDir work;
};

const char* const kEchoTail =
    "first_num : 0\n"
    "image_num : 3\n"
    "AR_thresh : 0.5\n"
    "thresh_first : 80\n"
    "thresh_interval : 10\n"
    "thresh_repeat_num : 5\n"
    "points_output_file_name : points\n"
    "number of pattern : 63\n"
    "MARK_SIZE : 30\n"
    "MARK_SPACE_X : 10\n"
    "MARK_SPACE_Y : 10\n"
    "center_flag : 0\n"
    "Adapbtive_thresh_flag : 1\n"
    "boad_rotation : 0\n"
    "Minimum_number : 10\n"
    "calib_mode : Camera\n"
    "********************\n\n"
    "read img\n"
    "ARPat_img read\n"
    "detect ARPat_img\n"
    "detect image 1st\n";
}  // namespace

TEST_F(Tagharvest, ConsoleTraceEchoSummaryAndElapsedTime) {
    const ProgramResult r = run(cameraArgs());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string head = "*** CONFIGURATION ***\nProjection_img : " + scene() +
                             "/projection.png\nCamera_img : " + scene() + "/images/cam%03d.png\n" +
                             kEchoTail;
    ASSERT_EQ(r.out.substr(0, head.size()), head);
    // Per image: the sweep, the count, the adaptive pass and the point files.
    const std::string body = r.out.substr(head.size());
    const std::regex image(
        "\n\nstart detect --> 0\n(THRESH (80|90|100|110|120) \\.\\.\\. [0-9]+\n){5}image 0 "
        "\\.\\.\\. 63\n"
        "## Start adaptive thresh\nstart adaptive --> 0\nAdditionally detected ID list\n"
        "No additional markers are detected.\noutput points text --> 0\n");
    EXPECT_TRUE(std::regex_search(body, image)) << body.substr(0, 400);
    // the summary puts "\nImage num  i : ..." for every image and one end of line at the end
    const std::string expectedSummary =
        "\nUse image num : 3 / 3\n"
        "\nImage num  0 :  OK (detect num 63)"
        "\nImage num  1 :  OK (detect num 63)"
        "\nImage num  2 :  OK (detect num 63)\n";
    EXPECT_NE(body.find(expectedSummary), std::string::npos) << body.substr(body.size() - 300);
    EXPECT_TRUE(std::regex_search(body, std::regex("\n[0-9]+\\.[0-9]{2} sec elapsed \n$")));
}

TEST_F(Tagharvest, ReportLayouts) {
    ASSERT_EQ(run(cameraArgs()).status, 0);
    const std::string info = file("info/cam/camera_AR_2Dinfo.txt");
    EXPECT_TRUE(
        std::regex_search(info, std::regex("^\n \n image_num = 0\n\n id = 0\ncf = 0\\.[0-9]+\n "
                                           "vertec0\n[0-9]+  [0-9]+\n vertec1\n")))
        << info.substr(0, 200);
    EXPECT_NE(info.find("\n \n image_num = 2\n"), std::string::npos);
    EXPECT_EQ(file("info/cam/detect_camAR.txt"), "63\n63\n63\n");
    // Thresholds of every image; vertex lines (x : y) for image 2 only.
    const std::string thresholds = file("info/cam/camera_02AR_ID21.txt");
    const std::vector<std::string> lines = splitLines(thresholds);
    int threshLines = 0, vertexLines = 0;
    for (const std::string& l : lines) {
        if (l.rfind("THRESH ", 0) == 0) ++threshLines;
        if (l.find(" : ") != std::string::npos) ++vertexLines;
    }
    EXPECT_EQ(threshLines, 3 * 5);
    EXPECT_EQ(vertexLines % 4, 0);
    EXPECT_GE(vertexLines, 4 * 63);
    EXPECT_EQ(lines[0], "THRESH 80");
    EXPECT_EQ(lines[1], "THRESH 90") << "image 0 writes no vertex lines";
    EXPECT_EQ(file("info/cam/diff_detectnum001.txt"), "Before adaptive:63\nAfter adaptive: 63\n");
    EXPECT_TRUE(std::regex_search(
        file("info/cam/adaptive_AR_2Dinfo001.txt"),
        std::regex("^image_num = 1\n\nid = 0 cf = 0\\.[0-9]+\nvertec0 [0-9.]+  [0-9.]+\n"
                   "vertec1 [0-9.]+  [0-9.]+\n")));
    EXPECT_EQ(splitLines(file("AR_pattern_info.txt")).size(), 63u);
    EXPECT_EQ(file("AR_pattern_info.txt").substr(0, 5), "id = ");
    for (const char* image :
         {"test/Cam_detect000.png", "test/Cam_000_homo.png", "test/marked002.png"})
        EXPECT_FALSE(cv::imread(work.file(image)).empty()) << image;
}

TEST_F(Tagharvest, CorrespondenceFileFormats) {
    HarvestArgs a = cameraArgs();
    a.centre = 1.9;  // read as 1
    ASSERT_EQ(run(a).status, 0);
    const std::vector<std::string> lines3d = splitLines(file("points/cam3D000.txt"));
    ASSERT_EQ(lines3d.size(), 63u);
    EXPECT_EQ(lines3d[0], "15\t15\t0\t") << "centre of the 30 x 30 marker at the board origin";
    EXPECT_EQ(lines3d[7], "55\t15\t0\t");
    EXPECT_TRUE(std::regex_match(splitLines(file("points/cam2D000.txt"))[0],
                                 std::regex("[0-9]+(\\.[0-9]+)?\t[0-9]+(\\.[0-9]+)?")));
    EXPECT_EQ(file("points/cam_true_num.txt"), "0\n1\n2\n");
}

TEST_F(Tagharvest, LargeImageNumbersAndLiteralPercentInTheFolder) {
    fs::copy_file(scene() + "/images/cam000.png", work.file("img1234.png"));
    HarvestArgs a = cameraArgs();
    a.cameraImages = "img%d.png";
    a.first = 1234;
    a.count = 1;
    a.output = "out%d/deeper";  // created, and the % stays a percent sign
    ASSERT_EQ(run(a).status, 0);
    EXPECT_TRUE(fileExists(work.file("out%d/deeper/cam2D1234.txt")));
    EXPECT_TRUE(fileExists(work.file("out%d/deeper/cam3D1234.txt")));
    EXPECT_EQ(file("out%d/deeper/cam_true_num.txt"), "1234\n");
    EXPECT_TRUE(fileExists(work.file("test/marked1234.png")));
}

TEST_F(Tagharvest, ArgumentsAreCheckedBeforeAnythingIsWritten) {
    const std::string camparam = file("camparam.dat");
    struct Case {
        std::string name;
        std::function<void(HarvestArgs&)> change;
        std::string message;
    };
    const Case cases[] = {
        {"image_num 0", [](HarvestArgs& a) { a.count = 0; }, "image_num"},
        {"negative first_num", [](HarvestArgs& a) { a.first = -1; }, "first_num"},
        {"calib_mode 2", [](HarvestArgs& a) { a.mode = 2; }, "calib_mode"},
        {"no patterns", [](HarvestArgs& a) { a.patterns = 0; }, "number of pattern"},
        {"151 patterns", [](HarvestArgs& a) { a.patterns = 151; }, "number of pattern"},
        {"no conversion", [](HarvestArgs& a) { a.cameraImages = "img.png"; }, "Camera_img"},
        {"string conversion", [](HarvestArgs& a) { a.cameraImages = "img%s.png"; }, "Camera_img"},
        {"two conversions", [](HarvestArgs& a) { a.cameraImages = "img%d_%d.png"; }, "Camera_img"},
        {"marked %n", [](HarvestArgs& a) { a.marked = "m%n%d.png"; }, "marked_image_name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HarvestArgs a = cameraArgs();
        c.change(a);
        const ProgramResult r = run(a);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(work.file("AR_pattern_info.txt")));
        EXPECT_FALSE(fileExists(work.file("info")));
        EXPECT_FALSE(fileExists(work.file("points")));
        EXPECT_EQ(file("camparam.dat"), camparam);
    }
    const ProgramResult wrongCount = runProgram(programPath("tagharvest"), {"a", "b"}, work.path());
    EXPECT_EQ(wrongCount.status, 1);
    EXPECT_EQ(wrongCount.err.rfind("Usage: tagharvest [--subpixel [--detect-scale S]] "
                                   "Projection_img Camera_img",
                                   0),
              0u)
        << wrongCount.err;
    EXPECT_EQ(wrongCount.out, "");
    // The reduction needs the sub-pixel mode and a scale in (0.05, 1].
    const std::vector<std::vector<std::string>> badScales = {
        {"--detect-scale", "0.5"},
        {"--subpixel", "--detect-scale", "0"},
        {"--subpixel", "--detect-scale", "2"},
        {"--subpixel", "--detect-scale", "half"},
        {"--subpixel", "--detect-scale"}};
    for (const std::vector<std::string>& options : badScales) {
        std::vector<std::string> args = options;
        const std::vector<std::string> positional = harvestCommandLine(cameraArgs());
        args.insert(args.end(), positional.begin(), positional.end());
        const ProgramResult r = runProgram(programPath("tagharvest"), args, work.path());
        EXPECT_EQ(r.status, 1) << options.back();
        EXPECT_NE(r.err.find("--detect-scale needs --subpixel"), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(work.file("points")));
    }
}

TEST_F(Tagharvest, UnreadableAndUndetectableImagesAreUnusable) {
    // image 0 missing, image 1 a field of isolated dark pixels (too many regions for the
    // engine), image 2 fine
    fs::copy_file(scene() + "/images/cam002.png", work.file("c2.png"));
    cv::Mat dots(480, 640, CV_8UC3, cv::Scalar(255, 255, 255));
    for (int y = 1; y < 479; y += 2)
        for (int x = 1; x < 639; x += 2) dots.at<cv::Vec3b>(y, x) = cv::Vec3b(0, 0, 0);
    cv::imwrite(work.file("c1.png"), dots);
    HarvestArgs a = cameraArgs();
    a.cameraImages = "c%d.png";
    const ProgramResult r = run(a);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("cannot read image c0.png (image 0 counts as unusable)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("marker detection failed on image 1 (c1.png) at threshold 80"),
              std::string::npos)
        << r.err;
    EXPECT_NE(
        r.out.find(
            "\nImage num  0 :  NG \nImage num  1 :  NG \nImage num  2 :  OK (detect num 63)\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(file("points/cam_true_num.txt"), "2\n");
    EXPECT_EQ(file("info/cam/detect_camAR.txt"), "0\n0\n63\n");
}

TEST_F(Tagharvest, NoUsableImageGivesAnEmptyTrueNumberFile) {
    for (const auto& [minimum, repeats] : {std::pair{63, 5}, std::pair{0, 0}}) {
        HarvestArgs a = cameraArgs();
        a.minimum = minimum;  // exactly 63 accepted is not more than 63
        a.repeats = repeats;  // no threshold at all
        const ProgramResult r = run(a);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(file("points/cam_true_num.txt"), "");
        EXPECT_FALSE(fileExists(work.file("points/cam2D000.txt")));
        EXPECT_EQ(splitLines(file("info/cam/detect_camAR.txt")).size(), 3u);
        EXPECT_NE(r.out.find("\nUse image num : 0 / 3\n"), std::string::npos);
    }
}

TEST_F(Tagharvest, OtsuModeRunsOneThresholdPerImage) {
    HarvestArgs a = cameraArgs();
    a.interval = 0;
    const ProgramResult r = run(a);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(file("info/cam/camera_02AR_ID21.txt").substr(0, 30),
              "THRESH 80\nTHRESH 80\nTHRESH 80\n");
    std::size_t count = 0;
    for (std::size_t p = r.out.find("THRESH "); p != std::string::npos;
         p = r.out.find("THRESH ", p + 1))
        ++count;
    EXPECT_EQ(count, 3u);
}

TEST_F(Tagharvest, FatalConditionsExitNonZero) {
    HarvestArgs a = cameraArgs();
    a.projection = "missing.png";
    ProgramResult r = run(a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read the pattern image missing.png"), std::string::npos);

    fs::remove(work.file("camparam.dat"));
    r = run(cameraArgs());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.size() - 33), "detect ARPat_img\ncam_param error\n");

    prepareWorkDir(scene(), work.path());
    a = cameraArgs();
    a.marked = "nowhere/m%03d.png";
    r = run(a);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write nowhere/m000.png"), std::string::npos);
    EXPECT_EQ(file("points/cam_true_num.txt"), "0\n1\n2\n") << "the run goes on";
}

TEST_F(Tagharvest, MarkersMissingFromThePatternImageAreLeftOutOfProjectorFiles) {
    // Whiten the left quarter of the projected pattern: its first columns of ids go.
    cv::Mat pattern = cv::imread(scene() + "/projection.png");
    cv::rectangle(pattern, cv::Rect(0, 0, pattern.cols / 4, pattern.rows),
                  cv::Scalar(255, 255, 255), cv::FILLED);
    cv::imwrite(work.file("pattern.png"), pattern);
    HarvestArgs a = cameraArgs();
    a.projection = "pattern.png";
    a.cameraImages = scene() + "/images/proj%03d.png";
    a.mode = 1;
    a.centre = 1;
    const ProgramResult r = run(a);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("pattern ids not found in the pattern image pattern.png: 0 1 2 3 4 5 6"),
              std::string::npos)
        << r.err;
    const auto cam = readNumberLines(work.file("points/proj2D000.txt"));
    const auto pat = readNumberLines(work.file("points/pattern000.txt"));
    ASSERT_EQ(cam.size(), pat.size());
    ASSERT_GT(pat.size(), 30u);
    for (const auto& p : pat) EXPECT_GT(p[0], pattern.cols / 4) << "no (0, 0) pattern points";
}

TEST_F(Tagharvest, HugeNumbersAndFieldWidthsAreHandled) {
    // Found by fuzzing the argument handling: a huge centre flag was an undefined
    // conversion, a huge field width a name of gigabytes.
    HarvestArgs a = cameraArgs();
    a.centre = 1e300;
    a.count = 1;
    a.first = 0;
    ProgramResult r = run(a);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("center_flag : 1\n"), std::string::npos);
    a.marked = "m%02147483647d.png";
    r = run(a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("marked_image_name"), std::string::npos);
    HarvestArgs big = cameraArgs();
    big.count = 1;
    std::vector<std::string> args = harvestCommandLine(big);
    args[3] = "99999999999";  // image_num beyond the int range reads as the largest int
    r = runProgram(programPath("tagharvest"), args, work.path());
    EXPECT_NE(r.out.find("image_num : 2147483647\n"), std::string::npos);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("image_num must be at most 100000"), std::string::npos);
}
