// The pose calculator's command line and run.
#pragma once

#include <string>
#include <vector>

// One option that acts on the running pose, in command-line order.
struct PoseStep {
    char option;           // 't', 'i', 's' or 'S'
    std::string argument;  // specstring, scale text, or "ref.txt,true.txt"
};

struct KinemixOptions {
    std::string programName;  // first word of the command line, for the usage text
    std::vector<PoseStep> steps;
    bool hasOutputPose = false;  // -o given (required)
    std::string outputPoseName;  // the last -o wins
    bool hasGlMatrix = false;    // -g given (optional)
    std::string glMatrixName;    // the last -g wins
    bool parseError = false;     // getopt delivered '?'
    bool strayWords = false;     // a non-option word was present
};

// Exit statuses of kinemix.
constexpr int kKinemixOk = 0;
constexpr int kKinemixUsage = 1;
constexpr int kKinemixFailure = 2;  // a step or an output file failed; its message was printed

// Scans argv with getopt("g:o:t:i:s:S:"), GNU behaviour (POSIXLY_CORRECT honoured).
// getopt diagnostics go to stderr. Resets getopt's state first, so it can be called
// more than once in a process.
KinemixOptions parseKinemixArgs(int argc, char** argv);

// Applies the steps to the identity pose, then writes the pose file and the OpenGL
// matrix file. Returns kKinemixUsage after the usage text (stdout) when the options
// were in error, stray words were present or no -o was given; kKinemixFailure when any
// step or output failed; kKinemixOk otherwise.
int runKinemix(const KinemixOptions& options);

void printKinemixUsage(const std::string& programName);
