// Synthetic working directories with ground truth: the printed board photographed by a
// known camera with lens distortion, and the same board poses lit by a known projector
// that casts the projected pattern.
#pragma once

#include <cstdint>
#include <string>

#include "marker_board.h"

struct SceneOptions {
    std::string outDir;
    int views = 12;
    std::uint32_t seed = 1;
    int cameraWidth = 1280, cameraHeight = 960;
    int projectorWidth = 1024, projectorHeight = 768;
    double noise = 2.0;                    // standard deviation of the grey-level noise
    double blur = 0.6;                     // Gaussian blur sigma in pixels (0: none)
    double distortion = 1.0;               // multiplies the default lens distortion (0: a pinhole)
    double gradient = 0.2;                 // brightness falls by this fraction across the image
    double markSize = kDefaultMarkSizeMm;  // board marker side, millimetres
    double spaceX = kDefaultMarkSpaceMm, spaceY = kDefaultMarkSpaceMm;  // board gaps, millimetres
    int supersampling = 4;  // sub-samples per axis and pixel
    // What real photos add (all off by default).
    int jpegQuality = 0;                // photos written as JPEG of this quality (0: PNG)
    double vignetting = 0;              // brightness lost in the image corners
    double defocusEdge = 0;             // blur sigma in the image corners (0: blur everywhere)
    double sharpen = 0;                 // unsharp-mask amount (a phone's halos)
    double tiltMin = 10, tiltMax = 35;  // board tilt range, degrees
    std::string clutter;                // photo of a room shown behind the board
    int hands = 0;                      // hands over the board per view
    int strays = 0;                     // stray printouts of markers beside the board per view
    // Projector series.
    double gamma = 1.0;     // projector response: light = value^gamma
    double blackLevel = 0;  // light of a black projector pixel, share of white
    double roomLight = 0;   // grey levels of room light added to the projector photos
    double bloom = 0;       // share of the projected light spread around bright areas
};

// Writes the directory (created when missing): data/pat.00.., camparam.dat,
// projection.png, images/cam%03d.png and images/proj%03d.png (views 0..views-1; .jpg
// with jpegQuality), the folders info/cam, info/proj, test and points, and truth.yaml
// (per view: pose, true corners, projected centres, and the ids hidden by hands and the
// stray printouts). Returns 0, or -1 with *error set.
int generateScene(const SceneOptions& options, std::string* error);
