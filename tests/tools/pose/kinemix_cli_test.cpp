// kinemix run as a program in a temporary directory: exact texts and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {
const std::string kUsageTail =
    "[options...]\n"
    "\trequired:\n"
    "\t -t specstring: transformation\n"
    "\t -i specstring: transformation to be inversed\n"
    "\t -o file: output pose file\n"
    "\toptional:\n"
    "\t -s scale: scale translation\n"
    "\t -S poseRef.txt,poseTrue.txt: scale so that the ratio that poseRed.txt scaled to "
    "poseTrue.txt\n"
    "\t -g file: output pose file for OpenGL 4x4 matrix\n"
    "\tspecstring:\n"
    "\t tr:x,y,z,angle : rotation by axis (x,y,z) angle in degree\n"
    "\t tt:x,y,z : translation of (x,y,z)\n"
    "\t hf:filename : (halcon)pose file\n"
    "\t hp:x,y,z,alpha,beta,gamma : (halcon)pose parameters\n"
    "\t tm:4x4 rigid transform matrix\n"
    "\t gl:4x4 matrix : OpenGL Model-View Matrix(GL_MODELVIEW)\n"
    "example: kinemix -i hf:outpose0.txt -t hf:pose.co.00.txt -o projtocampose.txt -g "
    "gl_model_view_mat.txt\n";

const std::string kIdentityPose = "0.000000\t0.000000\t0.000000\t-0.000000\t0.000000\t-0.000000";

class Kinemix : public testing::Test {
  protected:
    ProgramResult run(const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {"POSIXLY_CORRECT"}) {
        return runProgram(programPath("kinemix"), args, dir.path(), env);
    }
    std::string usage() const { return "Usage: " + programPath("kinemix") + kUsageTail; }
    TempDir dir;
};
}  // namespace

TEST_F(Kinemix, UsageCasesExitOneAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-g", "gl.txt"},
        {"-t", "tt:1,2,3"},
        {"-o", "out.txt", "second.txt"},
        {"stray", "-o", "out.txt"},
        {"-x", "-o", "out.txt"},
        {"-o", "out.txt", "-t"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const ProgramResult r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, usage());
        EXPECT_FALSE(fileExists(dir.file("out.txt")));
        EXPECT_FALSE(fileExists(dir.file("gl.txt")));
    }
}

TEST_F(Kinemix, ParserDiagnosticGoesToStderr) {
    const ProgramResult r = run({"-x", "-o", "out.txt"});
    EXPECT_NE(r.err.find("invalid option -- 'x'"), std::string::npos) << r.err;
}

TEST_F(Kinemix, OnlyOutputWritesTheIdentity) {
    const ProgramResult r = run({"-o", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(dir.file("out.txt")), kIdentityPose);
    const ProgramResult g = run({"-oout2.txt", "-g", "gl.txt"});
    EXPECT_EQ(g.status, 0);
    EXPECT_EQ(readFile(dir.file("out2.txt")), kIdentityPose);
    EXPECT_EQ(readFile(dir.file("gl.txt")), "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1,");
}

TEST_F(Kinemix, QuarterTurnExampleTexts) {
    const ProgramResult r =
        run({"-t", "tt:1,0,0", "-t", "tr:0,0,1,90", "-o", "out.txt", "-g", "gl.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.file("out.txt")),
              "0.000000\t1.000000\t0.000000\t-0.000000\t0.000000\t90.000000");
    EXPECT_EQ(readFile(dir.file("gl.txt")), "0,1,0,0,-1,0,0,0,0,0,1,0,0,1,0,1,");
}

TEST_F(Kinemix, ScaleActsOnlyOnTheTranslationSoFar) {
    const ProgramResult r = run({"-t", "tt:1,2,3", "-s", "2", "-t", "tt:1,0,0", "-o", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.file("out.txt")),
              "3.000000\t4.000000\t6.000000\t-0.000000\t0.000000\t-0.000000");
}

TEST_F(Kinemix, ScaleByPoseFilesPrintsTheFactor) {
    writeFile(dir.file("ref.txt"), "3 4 0 0 0 0\n");
    writeFile(dir.file("true.txt"), "6\t8\t0\t1\t2\t3");
    const ProgramResult r = run({"-t", "tt:1,2,3", "-S", "ref.txt,true.txt", "-o", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "scaling factor:2\n");
    EXPECT_EQ(readFile(dir.file("out.txt")),
              "2.000000\t4.000000\t6.000000\t-0.000000\t0.000000\t-0.000000");
}

TEST_F(Kinemix, InverseOfAPoseFileCancelsIt) {
    writeFile(dir.file("pose.txt"), "10 -20 300 12 -34 56\n");
    const ProgramResult r = run({"-t", "hf:pose.txt", "-i", "hf:pose.txt", "-o", "out.txt"});
    EXPECT_EQ(r.status, 0);
    float v[6];
    ASSERT_EQ(std::sscanf(readFile(dir.file("out.txt")).c_str(), "%f %f %f %f %f %f", &v[0], &v[1],
                          &v[2], &v[3], &v[4], &v[5]),
              6);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[i], 0, 1e-3) << i;
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(v[i], 0, 1e-5) << i;
}

TEST_F(Kinemix, LastOutputNameWins) {
    const ProgramResult r = run({"-o", "a.txt", "-o", "b.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(fileExists(dir.file("a.txt")));
    EXPECT_TRUE(fileExists(dir.file("b.txt")));
}

TEST_F(Kinemix, StrayWordIsFoundWithAndWithoutPosixlyCorrect) {
    // GNU permutation scans on past the stray word; POSIXLY_CORRECT stops at it.
    const std::vector<std::string> args = {"-o", "out.txt", "stray", "-t", "xx:1"};
    const ProgramResult gnu = run(args);
    EXPECT_EQ(gnu.status, 1);
    EXPECT_EQ(gnu.out, "Error!! in specstring xx:1\n" + usage());
    const ProgramResult posix = run(args, {"POSIXLY_CORRECT=1"});
    EXPECT_EQ(posix.status, 1);
    EXPECT_EQ(posix.out, usage());
}

TEST_F(Kinemix, FailedStepsAreReportedContributeNothingAndExitTwo) {
    writeFile(dir.file("five.txt"), "1 2 3 4 5\n");
    writeFile(dir.file("zero.txt"), "0 0 0 0 0 0\n");
    writeFile(dir.file("true.txt"), "6 8 0 0 0 0\n");
    writeFile(dir.file("m10.txt"), "1 2 3 4 5 6 7 8 9 10\n");
    struct Case {
        std::vector<std::string> failing;
        std::string out, err;
    };
    const Case cases[] = {
        {{"-t", "xx:1,2,3"}, "Error!! in specstring xx:1,2,3\n", ""},
        {{"-i", "tt:1,2"}, "Error!! in specstring tt:1,2\n", ""},
        {{"-t", "tr:0,0,0,45"}, "Error!! in specstring tr:0,0,0,45\n", ""},
        {{"-t", "tt"}, "Error!! in specstring tt\n", ""},
        {{"-t", "tm:m10.txt"}, "Error!! in specstring tm:m10.txt\n", ""},
        {{"-t", "gl:nothere.txt"}, "Can't open \"nothere.txt\" !\n", ""},
        {{"-t", "hf:nothere.txt"}, "", "cannot open file nothere.txt\n"},
        {{"-t", "hf:five.txt"},
         "",
         "pose file five.txt: the first line does not hold six numbers\n"},
        {{"-S", "true.txt"}, "", "-S needs two pose files separated by a comma: true.txt\n"},
        {{"-S", "nothere.txt,true.txt"}, "", "cannot open file nothere.txt\n"},
        {{"-S", "zero.txt,true.txt"},
         "",
         "-S: the translation of zero.txt has length 0, cannot scale\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.failing));
        std::vector<std::string> args = {"-t", "tt:1,2,3"};
        args.insert(args.end(), c.failing.begin(), c.failing.end());
        args.insert(args.end(), {"-o", "out.txt"});
        const ProgramResult r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        // the failing step left the earlier translation exactly as it was
        EXPECT_EQ(readFile(dir.file("out.txt")),
                  "1.000000\t2.000000\t3.000000\t-0.000000\t0.000000\t-0.000000");
    }
}

TEST_F(Kinemix, UnwritableOutputsAreReportedAndExitTwo) {
    const ProgramResult r = run({"-o", "no/such/dir/out.txt", "-g", "gl.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cannot open file no/such/dir/out.txt\n");
    // the OpenGL file is still written
    EXPECT_EQ(readFile(dir.file("gl.txt")), "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1,");
}

// A scale or file value that is not a finite number, or a pose that overflows, writes
// nothing and fails (exit 2), naming the cause.
TEST_F(Kinemix, NonFiniteInputsAndResultsAreRefused) {
    writeFile(dir.file("inf_pose.txt"), "1 2 inf 0 0 0\n");
    writeFile(dir.file("binary.txt"), std::string("\x89PNG\r\n\x1a\n\x00\x01garbage", 17));
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const Case cases[] = {
        {{"-t", "tt:1,0,0", "-s", "1e300", "-o", "out.txt"}, "not finite"},
        {{"-t", "tt:1,0,0", "-s", "1e999", "-o", "out.txt"}, "-s needs a finite number: 1e999"},
        {{"-t", "tt:1,0,0", "-s", "2x", "-o", "out.txt"}, "-s needs a finite number: 2x"},
        {{"-t", "hf:inf_pose.txt", "-o", "out.txt"}, "is not a finite number"},
        {{"-t", "tm:binary.txt", "-o", "out.txt"}, "is not a finite number"},
        {{"-t", "hf:.", "-o", "out.txt"}, "it is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::remove(dir.file("out.txt").c_str());
        const ProgramResult r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        if (c.said == "not finite") {
            EXPECT_FALSE(fileExists(dir.file("out.txt")));
        }
    }
}
