// Specstrings: a three-character kind ("tr:", "tt:", "hp:", "hf:", "tm:", "gl:")
// followed by a body naming one rigid transformation.
#pragma once

#include <string>

#include "pose_algebra.h"

// Builds the transformation of a specstring. Returns 0, or -1 after printing the
// failure's message: "Error!! in specstring TEXT" on stdout for an unknown kind, a
// body with too few numbers, a "tr:" axis of length 0 or a matrix file with fewer than
// 16 values; the file readers' own messages for unreadable files; a message on stderr
// for a pose file whose first line lacks six numbers. On failure *out is untouched.
int parseSpecString(const std::string& text, Transform* out);
