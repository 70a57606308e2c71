// The tagharvest program: configuration, image loading, pattern table, detection pass,
// true-number file, summary.
#pragma once

// Exit statuses besides 0 (a normal run) and those of the passes (pattern_marker_table.h).
constexpr int kExitUsage = 1;         // wrong argument count or unacceptable arguments
constexpr int kExitInputMissing = 1;  // pattern image or every series image unreadable
constexpr int kExitUnwritten = 2;     // the run finished but some file could not be written

// Runs tagharvest on argv (argc must count the program name) and returns its exit status.
int runTagharvest(int argc, char** argv);
