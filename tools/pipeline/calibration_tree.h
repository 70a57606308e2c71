// calibration.json and calibration.yaml: every result at full precision in forms that any
// JSON or YAML reader takes (units: pixels, and the board's units for lengths).
#pragma once

#include <string>

#include "result_tree.h"
#include "rigflow_report.h"

TreeNode calibrationTree(const Results& results, double glNear, double glFar);

// Writes folder/calibration.json and folder/calibration.yaml.
bool writeCalibrationTree(const std::string& folder, const TreeNode& tree);
