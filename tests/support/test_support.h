// Helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

// A fresh directory under the system temp folder, removed with its contents at scope end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal when the program was killed
    std::string out;  // standard output
    std::string err;  // standard error
};

// Path of a toolkit program in the build's bin folder.
std::string programPath(const std::string& name);

// The tagforge that makes the tests' scenes: TOOLKIT_SCENE_GENERATOR when set (the
// sanitizer run takes the normal build's: the scenes are inputs, not what is tested
// there), otherwise the build's own.
std::string sceneGenerator();

// Runs program with args in workDir; environment changes are "NAME=value" to set
// or "NAME" to remove. Standard input is empty.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir, const std::vector<std::string>& env = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
std::vector<std::string> splitLines(const std::string& text);
