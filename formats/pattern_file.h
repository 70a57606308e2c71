// Pattern files ("data/pat.NN"): one marker picture as 3072 integers, four orientations,
// each as three channel planes of 16 rows of 16 columns (orientation, channel, row, column).
#pragma once

#include <string>

constexpr int kPatternFileValues = 4 * 3 * 16 * 16;

// "FOLDER/pat.NN": the index with at least two digits.
std::string patternFileName(const std::string& folder, int index);

constexpr int kPatternFileRead = 0;
constexpr int kPatternFileMissing = -1;  // cannot be opened
constexpr int kPatternFileShort = -2;    // fewer than 3072 integers (or not a text file)

// The first 3072 integers of the file (white space between them), in file order.
int readPatternFile(const char* path, int values[kPatternFileValues]);

// The values in file order: a line per row, a blank line after each orientation.
bool writePatternFile(const std::string& path, const int values[kPatternFileValues]);
