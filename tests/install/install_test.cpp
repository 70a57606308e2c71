// The install: cmake --install puts the seven programs, and nothing else, in PREFIX/bin, and
// rigflow runs its steps from there; cpack's Debian package holds them under /usr/bin.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "rigflow_scene.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
const std::vector<std::string> kPrograms = {"kinemix",  "lensrig",  "lumenrig",  "rigflow",
                                            "tagforge", "warpdots", "tagharvest"};

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> filesBelow(const std::string& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), root).string());
    return sorted(files);
}

std::vector<std::string> withPrefix(const std::string& prefix) {
    std::vector<std::string> v;
    for (const std::string& p : kPrograms) v.push_back(prefix + p);
    return sorted(v);
}

void expectRigflowHelp(const std::string& rigflow) {
    const ProgramResult help = runProgram(rigflow, {"--help"}, ".");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Usage: rigflow", 0), 0u) << help.out;
}
}  // namespace

TEST(Install, PutsTheSevenProgramsInThePrefixAndRigflowFindsItsSteps) {
    TempDir prefix;
    const ProgramResult install =
        runProgram(CMAKE_COMMAND, {"--install", TOOLKIT_BUILD_DIR, "--prefix", prefix.path()}, ".");
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    EXPECT_EQ(filesBelow(prefix.path()), withPrefix("bin/")) << "no test, benchmark or library";
    expectRigflowHelp(prefix.file("bin/rigflow"));

    // Two views: rigflow runs the detector from its own folder, then its checks stop it.
    TempDir work;
    copyScene(work.path(), "", tinyScene());
    const ProgramResult run = runProgram(prefix.file("bin/rigflow"), {work.path()}, ".");
    EXPECT_NE(run.out.find("] tagharvest: markers in the camera photos ... done"),
              std::string::npos)
        << run.out << run.err;
}

TEST(Install, DebianPackagePutsThemOnThePath) {
    TempDir dir;
    const ProgramResult pack =
        runProgram(CPACK_COMMAND, {"-G", "DEB", "--config", TOOLKIT_BUILD_DIR "/CPackConfig.cmake"},
                   dir.path());
    ASSERT_EQ(pack.status, 0) << "scripts/setup.sh --tests installs dpkg-dev\n"
                              << pack.out << pack.err;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    ASSERT_FALSE(deb.empty()) << pack.out;
    const ProgramResult contents = runProgram("/usr/bin/dpkg-deb", {"-c", deb}, ".");
    ASSERT_EQ(contents.status, 0) << contents.err;
    std::vector<std::string> files;
    for (const std::string& line : splitLines(contents.out))
        if (line.rfind('/') + 1 != line.size()) files.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(sorted(files), withPrefix("./usr/bin/")) << contents.out;
    const ProgramResult depends = runProgram("/usr/bin/dpkg-deb", {"-f", deb, "Depends"}, ".");
    EXPECT_NE(depends.out.find("libopencv-core"), std::string::npos) << depends.out;

    // Unpacked into a scratch root, not installed on this machine.
    const ProgramResult unpack =
        runProgram("/usr/bin/dpkg-deb", {"-x", deb, dir.file("root")}, ".");
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    expectRigflowHelp(dir.file("root/usr/bin/rigflow"));
}
