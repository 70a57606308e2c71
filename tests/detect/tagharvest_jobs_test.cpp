// Photos worked on in parallel: every file, report and console line is what one job gives.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "harvest_fixture.h"
#include "ordered_jobs.h"
#include "photo_console.h"

namespace fs = std::filesystem;

namespace {
// Every file under dir by its relative path, with its bytes.
std::map<std::string, std::string> filesUnder(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files[fs::relative(e.path(), dir).string()] = readFile(e.path().string());
    return files;
}

// The console without what differs from run to run whatever the jobs: the CPU time of the
// last line, and the libraries' own warnings (timed, and written when they happen).
std::string comparable(const std::string& out) {
    std::string kept;
    for (const std::string& line : splitLines(out))
        if (line.find("sec elapsed") == std::string::npos && line.rfind("[ WARN", 0) != 0 &&
            line.rfind("libpng", 0) != 0)
            kept += line + "\n";
    return kept;
}

struct JobsRun {
    ProgramResult result;
    std::map<std::string, std::string> files;
};

JobsRun runWithJobs(const std::string& scene, const HarvestArgs& a,
                    const std::vector<std::string>& options) {
    TempDir work;
    prepareWorkDir(scene, work.path());
    std::vector<std::string> args = options;
    const std::vector<std::string> positional = harvestCommandLine(a);
    args.insert(args.end(), positional.begin(), positional.end());
    JobsRun run;
    run.result = runProgram(programPath("tagharvest"), args, work.path());
    run.files = filesUnder(work.path());
    return run;
}
}  // namespace

TEST(TagharvestJobs, SeveralJobsWriteWhatOneJobWrites) {
    TempDir dir;
    const std::string scene = dir.file("scene");
    makeScene(scene, 4, {"--hands", "1", "--seed", "3"});
    // Photo 2 cannot be decoded though its header can (found only when its turn comes),
    // and photo 4 is missing: both are reported on stderr between other photos' lines.
    for (const char* name : {"/images/cam002.png", "/images/proj002.png"}) {
        const std::string whole = readFile(scene + name);
        writeFile(scene + name, whole.substr(0, whole.size() / 2));
    }
    struct Case {
        const char* name;
        std::vector<std::string> options;  // before --jobs N
        int mode, adaptive;
        double centre;
    };
    const Case cases[] = {
        {"default mode", {}, 0, 1, 0},
        {"default mode, no adaptive pass", {}, 0, 0, 0},
        {"sub-pixel", {"--subpixel"}, 0, 1, 0},
        {"sub-pixel on reduced copies", {"--subpixel", "--detect-scale", "0.7"}, 0, 1, 0},
        {"sub-pixel, projector mode", {"--subpixel"}, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HarvestArgs a;
        a.projection = scene + "/projection.png";
        a.cameraImages = scene + (c.mode == 1 ? "/images/proj%03d.png" : "/images/cam%03d.png");
        a.count = 5;
        a.mode = c.mode;
        a.adaptive = c.adaptive;
        a.centre = c.centre;
        std::vector<std::string> one = {"--jobs", "1"}, three = c.options;
        one.insert(one.end(), c.options.begin(), c.options.end());
        three.insert(three.end(), {"--jobs", "3"});  // after the other options this time
        const JobsRun single = runWithJobs(scene, a, one);
        const JobsRun several = runWithJobs(scene, a, three);
        ASSERT_EQ(single.result.status, 0) << single.result.err;
        EXPECT_EQ(several.result.status, 0);
        EXPECT_EQ(comparable(several.result.out), comparable(single.result.out));
        EXPECT_EQ(comparable(several.result.err), comparable(single.result.err));
        EXPECT_NE(single.result.err.find("002.png (image 2 counts as unusable)"),
                  std::string::npos);
        EXPECT_NE(single.result.out.find("Image num  3 :  OK"), std::string::npos);
        // The marked images and point files are there, so the comparison means something.
        EXPECT_GE(single.files.size(), 20u);
        for (const auto& [name, bytes] : single.files) {
            const auto other = several.files.find(name);
            ASSERT_NE(other, several.files.end()) << name;
            EXPECT_TRUE(other->second == bytes) << name << " differs";
        }
        EXPECT_EQ(several.files.size(), single.files.size());
    }
}

TEST(TagharvestJobs, JobCountsOutsideOneToTheLimitAreRefused) {
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"--jobs", "0"},
                                               {"--jobs", "-2"},
                                               {"--jobs", "two"},
                                               {"--jobs", "100000"},
                                               {"--jobs", "2", "--jobs", "2"},
                                               {"--jobs"}}) {
        TempDir work;
        HarvestArgs a;
        a.projection = "projection.png";
        a.cameraImages = "cam%03d.png";
        std::vector<std::string> args = options;
        const std::vector<std::string> positional = harvestCommandLine(a);
        args.insert(args.end(), positional.begin(), positional.end());
        const ProgramResult r = runProgram(programPath("tagharvest"), args, work.path());
        EXPECT_EQ(r.status, 1) << options[1 % options.size()];
        EXPECT_NE(r.err.find("--jobs needs"), std::string::npos) << r.err;
        EXPECT_TRUE(filesUnder(work.path()).empty());
    }
}

TEST(OrderedJobs, ResultsAreTakenInOrderWhateverFinishesFirst) {
    for (int jobs : {1, 2, 4}) {
        std::vector<int> taken;
        std::vector<int> done(9, 0);
        std::atomic<int> running{0};
        runInOrder(
            9, jobs,
            [&](int worker, int i) {
                EXPECT_LT(worker, jobs);
                EXPECT_LE(++running, jobs);
                // Later items finish first.
                volatile double spin = 0;
                for (int k = 0; k < (9 - i) * 200000; ++k) spin = spin + k;
                done[i] = 1;
                --running;
            },
            [&](int i) {
                EXPECT_EQ(done[i], 1);
                taken.push_back(i);
            });
        EXPECT_EQ(taken, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8})) << jobs << " jobs";
    }
}

TEST(OrderedJobs, WorkKeepsCloseToWhatIsTaken) {
    for (int jobs : {1, 2, 3}) {
        std::atomic<int> taken{0};
        int checked = 0;
        runInOrder(
            12, jobs,
            [&](int, int i) {
                // Items finish at once and are taken slowly: without a bound the workers
                // would run to the end of the series.
                EXPECT_LT(i, taken + 2 * jobs) << jobs << " jobs, item " << i;
            },
            [&](int) {
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
                ++taken;
                ++checked;
            });
        EXPECT_EQ(checked, 12);
    }
}

TEST(OrderedJobs, AFailureEndsTheRunAtItsTurn) {
    for (int jobs : {1, 3}) {
        std::vector<int> taken;
        EXPECT_THROW(runInOrder(
                         6, jobs,
                         [&](int, int i) {
                             if (i == 2) throw std::runtime_error("photo 2");
                         },
                         [&](int i) { taken.push_back(i); }),
                     std::runtime_error);
        EXPECT_EQ(taken, (std::vector<int>{0, 1})) << jobs << " jobs";
    }
}

TEST(PhotoConsole, ReplaysBothStreamsInTheOrderWritten) {
    PhotoConsole console;
    console.out() << "THRESH 80";
    console.err() << "cannot read image a.png" << std::endl;
    console.out() << " ... " << 3 << std::endl;
    console.out() << "image 1 ... 3\n";
    std::ostringstream both;
    console.replay(both, both);
    EXPECT_EQ(both.str(), "THRESH 80cannot read image a.png\n ... 3\nimage 1 ... 3\n");
    std::ostringstream out, err;
    console.err() << "x";
    console.out() << "y";
    console.replay(out, err);
    EXPECT_EQ(out.str(), "y");
    EXPECT_EQ(err.str(), "x");
}
