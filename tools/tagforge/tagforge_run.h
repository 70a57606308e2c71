// tagforge: makes what the toolkit takes as given (pattern files, the printable board,
// the projected pattern image, camparam.dat) and synthetic scenes with ground truth.
#pragma once

// Runs one subcommand: patterns, board, projection, camparam or scene. Returns the exit
// status: 0 on success, 1 after a usage or option error, 2 when the work failed.
int runTagforge(int argc, char** argv);
