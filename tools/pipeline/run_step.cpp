#include "run_step.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

StepResult runStep(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir, const std::string& logPath) {
    StepResult result;
    // Everything the child needs is made before the fork: steps may be started from two
    // threads, and a child of a threaded process may only make system calls until exec.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int devNull = open("/dev/null", O_RDONLY);
        if (log < 0 || devNull < 0 || chdir(workDir.c_str()) != 0) _exit(127);
        dup2(devNull, 0);
        dup2(log, 1);
        dup2(log, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(logPath);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
    return result;
}

std::string ownFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}
