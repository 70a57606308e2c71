#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "toolkit-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string programPath(const std::string& name) {
    return std::string(TOOLKIT_BIN_DIR) + "/" + name;
}

std::string sceneGenerator() {
    const char* chosen = std::getenv("TOOLKIT_SCENE_GENERATOR");
    return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : programPath("tagforge");
}

bool reducedSample() {
    const char* value = std::getenv("TOOLKIT_REDUCED_SAMPLE");
    return value != nullptr && std::string(value) == "1";
}

namespace {
namespace fs = std::filesystem;

// What decides a generated scene: the generator (its file, size and time) and the arguments.
std::string sceneKey(const std::vector<std::string>& args) {
    std::error_code ec;
    const fs::path generator = fs::canonical(sceneGenerator(), ec);
    if (ec) return "";
    std::ostringstream key;
    key << generator.string() << "\n"
        << fs::file_size(generator, ec) << "\n"
        << fs::last_write_time(generator, ec).time_since_epoch().count() << "\n";
    for (const std::string& a : args) key << a << "\n";
    return key.str();
}

void copyInto(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}
}  // namespace

ProgramResult generateScene(const std::string& out, const std::vector<std::string>& args,
                            const std::string& workDir) {
    std::vector<std::string> all = {"scene", "--out", out};
    all.insert(all.end(), args.begin(), args.end());
    const char* cacheDir = std::getenv("TOOLKIT_SCENE_CACHE");
    const std::string key = cacheDir != nullptr && *cacheDir != '\0' ? sceneKey(args) : "";
    if (key.empty()) return runProgram(sceneGenerator(), all, workDir);

    const fs::path target = fs::path(workDir) / out;
    const fs::path entry =
        fs::path(cacheDir) / ("scene-" + std::to_string(std::hash<std::string>{}(key)));
    if (readFile((entry / "key.txt").string()) == key) {
        copyInto(entry / "scene", target);
        ProgramResult cached;
        cached.status = 0;
        cached.out = readFile((entry / "out.txt").string());
        cached.err = readFile((entry / "err.txt").string());
        return cached;
    }
    const ProgramResult made = runProgram(sceneGenerator(), all, workDir);
    if (made.status != 0) return made;
    // Filled under a private name, then renamed: tests running in parallel never see half a
    // scene, and the first of two that made the same scene keeps its copy.
    std::error_code ec;
    fs::create_directories(cacheDir, ec);
    std::string pattern = (fs::path(cacheDir) / "new-XXXXXX").string();
    if (ec || mkdtemp(pattern.data()) == nullptr) return made;
    copyInto(target, fs::path(pattern) / "scene");
    writeFile(pattern + "/out.txt", made.out);
    writeFile(pattern + "/err.txt", made.err);
    writeFile(pattern + "/key.txt", key);
    fs::rename(pattern, entry, ec);
    if (ec) fs::remove_all(pattern, ec);
    return made;
}

const std::string& sharedScene(const std::string& name, const std::vector<std::string>& args) {
    static TempDir dir;
    static std::map<std::string, std::string> made;  // name -> folder, stable references
    const auto known = made.find(name);
    if (known != made.end()) return known->second;
    std::string path = std::string(TOOLKIT_SCENES_DIR) + "/" + name;
    if (!fileExists(path + "/truth.yaml")) {
        path = dir.file(name);
        const ProgramResult r = generateScene(path, args, dir.path());
        EXPECT_EQ(r.status, 0) << "tagforge scene " << name << ": " << r.err;
    }
    return made.emplace(name, path).first->second;
}

const std::string& harvestScene() {
    return sharedScene("harvest", {"--views", "4", "--camera", "640x480"});
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir, const std::vector<std::string>& env) {
    // Private capture files: tests may run in parallel in the same working directory.
    auto captureFile = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "toolkit-capture-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        close(fd);
        return pattern;
    };
    const std::string outPath = captureFile();
    const std::string errPath = captureFile();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& e : env) {
            const auto eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ProgramResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}
