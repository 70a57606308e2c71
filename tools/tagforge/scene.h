// Synthetic working directories with ground truth: the printed board photographed by a
// known camera with lens distortion, and the same board poses lit by a known projector
// that casts the projected pattern.
#pragma once

#include <cstdint>
#include <string>

struct SceneOptions {
    std::string outDir;
    int views = 12;
    std::uint32_t seed = 1;
    int cameraWidth = 1280, cameraHeight = 960;
    int projectorWidth = 1024, projectorHeight = 768;
    double noise = 2.0;                   // standard deviation of the grey-level noise
    double blur = 0.6;                    // Gaussian blur sigma in pixels (0: none)
    double distortion = 1.0;              // multiplies the default lens distortion (0: a pinhole)
    double gradient = 0.2;                // brightness falls by this fraction across the image
    double markSize = 30.0;               // board marker side, millimetres
    double spaceX = 10.0, spaceY = 10.0;  // board gaps, millimetres
    int supersampling = 4;                // sub-samples per axis and pixel
};

// Writes the directory (created when missing): data/pat.00.., camparam.dat,
// projection.png, images/cam%03d.png and images/proj%03d.png (views 0..views-1),
// the folders info/cam, info/proj, test and points, and truth.yaml. Returns 0, or -1
// with *error set.
int generateScene(const SceneOptions& options, std::string* error);
