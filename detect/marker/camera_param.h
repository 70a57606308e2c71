// Camera parameters of the detection engine: the record it works with (image size and
// the radial distortion model) and the undistortion of observed points.
#pragma once

#include "camera_param_file.h"

// Installs a copy of param as the engine's active parameters (image size and distortion
// used by every detection call).
void setCameraParams(const CameraParam& param);

// The installed parameters; valid after the first setCameraParams.
const CameraParam& installedCameraParams();

// Removes the lens distortion of one observed point (three Newton steps).
void observedToIdeal(const double distortion[4], double ox, double oy, double* ix, double* iy);
