#include "rigflow_steps.h"

#include <filesystem>
#include <future>
#include <iostream>
#include <sstream>

#include "run_step.h"

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kLastLinesShown = 15;

std::string logPath(const RigflowRun& run, const ProgramStep& step) {
    return (fs::path(run.workDir) / run.layout.logs / step.logName).string();
}

StepResult start(const RigflowRun& run, const ProgramStep& step) {
    return runStep((fs::path(ownFolder()) / step.program).string(), step.args, run.workDir,
                   logPath(run, step));
}

// Reports a finished step; a failed one with its last lines and advice.
StageResult reportStep(const RigflowRun& run, const ProgramStep& step, const StepResult& r) {
    if (r.status == 0) {
        std::cout << " done" << std::endl;
        return {};
    }
    std::cout << " failed (exit status " << r.status << ")" << std::endl;
    std::cerr << "rigflow: " << step.program << " failed; its whole output is in "
              << logPath(run, step) << "; its last lines:\n";
    std::istringstream lines(r.output);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    for (std::size_t i = all.size() > kLastLinesShown ? all.size() - kLastLinesShown : 0;
         i < all.size(); ++i)
        std::cerr << "  " << all[i] << "\n";
    const std::string hint = stepAdvice(step.program, r.status);
    if (!hint.empty())
        std::cerr << "rigflow: " << hint << "\n";
    else
        std::cerr << "rigflow: the lines above are " << step.program
                  << "'s own and name what it could not do; fix that and run rigflow again\n";
    return {StageStatus::kStepFailed, ""};
}
}  // namespace

StageResult runProgramStep(RigflowRun* run, const ProgramStep& step) {
    std::cout << "[" << ++run->step << "/" << run->steps << "] " << step.title << " ..."
              << std::flush;
    return reportStep(*run, step, start(*run, step));
}

StageResult runTogether(RigflowRun* run, const ProgramStep& first, const ProgramStep& second) {
    const int index = run->step + 1;
    run->step += 2;
    std::cout << "[" << index << "/" << run->steps << "] and [" << index + 1 << "/" << run->steps
              << "] run at the same time" << std::endl;
    std::future<StepResult> other =
        std::async(std::launch::async, [&] { return start(*run, second); });
    const StepResult r1 = start(*run, first);
    const StepResult r2 = other.get();
    std::cout << "[" << index << "/" << run->steps << "] " << first.title << " ...";
    const StageResult firstResult = reportStep(*run, first, r1);
    if (!done(firstResult)) return firstResult;
    std::cout << "[" << index + 1 << "/" << run->steps << "] " << second.title << " ...";
    return reportStep(*run, second, r2);
}
