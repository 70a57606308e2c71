// Starting the toolkit's programs as separate processes.
#pragma once

#include <string>
#include <vector>

struct StepResult {
    int status = -1;     // exit status; 128 + signal when killed; -1 when it could not start
    std::string output;  // standard output and error, as written
};

// Runs program (a path) with args in workDir; its output also goes to logPath.
StepResult runStep(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir, const std::string& logPath);

// Folder of the running executable (where the other programs are built).
std::string ownFolder();
