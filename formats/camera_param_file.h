// The camera parameter file ("camparam.dat"): records of image size, projection matrix
// and the radial distortion model, big-endian.
#pragma once

struct CameraParam {
    int width;                // image width in pixels
    int height;               // image height in pixels
    double projection[3][4];  // projection matrix, row-major (carried along, not used by detection)
    // [0], [1]: distortion centre x, y (pixels); [2]: coefficient f in 1e-8 per squared
    // pixel; [3]: scale s.
    double distortion[4];
};

// Size of one record in the file: two int32 and sixteen doubles, all big-endian.
constexpr int kCameraParamRecordBytes = 136;

// Reads n consecutive records into params[0..n-1]. Returns 0, or -1 when n < 1, the file
// cannot be opened or a record is short (records before it stay filled). Prints nothing.
int loadCameraParams(const char* path, int n, CameraParam* params);

// Creates or truncates the file and writes n records. Returns 0 or -1. The caller's
// records are never modified.
int saveCameraParams(const char* path, int n, const CameraParam* params);

// Adapts a record to another image size of the same aspect, with k = newWidth / width:
// projection rows 0 and 1 and the distortion centre times k, the coefficient over k^2.
CameraParam scaleCameraParams(const CameraParam& source, int newWidth, int newHeight);

// Parameters of a width x height image with the identity distortion (centre (width,
// height), coefficient 0, scale 1) and every projection row (1, 1, 1, 0).
CameraParam identityCameraParams(int width, int height);
