// The printed marker board every program shares: tagforge prints it, tagharvest finds it,
// rigflow describes it in its configuration. Markers stand in 9 columns (along board X)
// and 7 rows (along board Y); the measures are the defaults, in millimetres.
#pragma once

constexpr int kMarkColumns = 9;  // along X
constexpr int kMarkRows = 7;     // along Y
constexpr int kBoardMarkers = kMarkColumns * kMarkRows;

constexpr double kDefaultMarkSizeMm = 30;   // side of one marker
constexpr double kDefaultMarkSpaceMm = 10;  // gap between columns, and between rows
