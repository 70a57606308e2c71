// Pose files, 4x4 matrix files and the OpenGL model-view matrix file.
#pragma once

#include <string>
#include <vector>

#include "pose_types.h"

// Status of readPoseFile.
constexpr int kPoseFileRead = 0;
constexpr int kPoseFileUnopened = -1;  // "cannot open file NAME" already printed on stderr
constexpr int kPoseFileShort = -2;     // first line lacks six numbers (no message printed)
constexpr int kPoseFileBad = -3;       // a value is not finite (named on stderr)

// The whole text as one finite number (strtod's grammar); false otherwise.
bool parseFinite(const std::string& text, double* value);

// Reads the six numbers of the first line ("%f %f %f %f %f %f"). The numbers
// converted before a failing scan are stored all the same; the others are untouched.
int readPoseFile(const std::string& name, PoseParams* params);

// Writes "%f\t%f\t%f\t%f\t%f\t%f" with no line end. Returns 0, or -1 after
// printing "cannot open file NAME" on stderr.
int writePoseFile(const PoseParams& params, const std::string& name);

// Collects up to 16 values in file order into values (cleared first): tokens split
// at commas (a leading comma ignored), each piece a whole finite number; tokens starting
// with '%' or '#' skip the rest of their line. Returns 0, or -1 after printing
// "Can't open \"NAME\" !" on stdout, or naming a directory or a piece that is not a
// finite number on stderr.
int readMatrixFile(const std::string& name, std::vector<double>* values);

// Writes [R t; 0 0 0 1] column by column, each value followed by a comma, no blanks,
// no line end. Returns 0, or -1 after printing "cannot open file NAME" on stderr.
int writeGlMatrixFile(const Transform& pose, const std::string& name);
