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

// TOOLKIT_REDUCED_SAMPLE=1, as scripts/test.sh sets it for the sanitizer pass: tests that
// repeat the same numerics over many noise seeds run fewer of them there (the same code paths,
// instrumented); the normal build runs the full sample.
bool reducedSample();

// Runs `tagforge scene --out OUT ARGS...` (sceneGenerator()) in workDir. With
// TOOLKIT_SCENE_CACHE naming a folder, a scene that the same generator made with the same
// arguments is copied from there instead of generated again: scripts/test.sh lets the
// sanitizer pass reuse the normal pass's scenes (both made by the normal build's tagforge).
ProgramResult generateScene(const std::string& out, const std::vector<std::string>& args,
                            const std::string& workDir);

// A generated scene shared by every test process of a run: TOOLKIT_SCENES_DIR/name when the
// CTest fixture of that name made it (toolkit_scene in tests/CMakeLists.txt, with the same
// arguments), otherwise made once per process with `tagforge scene --out DIR args...` in a
// temporary folder (a test program run on its own).
const std::string& sharedScene(const std::string& name, const std::vector<std::string>& args);

// The tagharvest program tests' scene: 4 views of a 640 x 480 camera, tagforge's default seed.
const std::string& harvestScene();

// Runs program with args in workDir; environment changes are "NAME=value" to set
// or "NAME" to remove. Standard input is empty.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir, const std::vector<std::string>& env = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
std::vector<std::string> splitLines(const std::string& text);
