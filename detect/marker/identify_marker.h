// Identification of a square candidate: perspective sampling of its picture and
// normalised correlation against the pattern library.
#pragma once

#include <cstdint>

#include "pattern_library.h"

// H (row-major 3x3, H[2][2] = 1) mapping the four reference points (X, Y) to the four
// image points (x, y). Returns 0, or -1 when the 8 x 8 system is singular (H unusable).
int solveHomography(const double reference[4][2], const double image[4][2], double h[3][3]);

// Samples the 16 x 16 x 3 picture ([row][column][channel]) of the marker whose outline
// corners 0..3 are corner[4][2] (integer pixels), from a width x height image of 4 bytes
// per pixel. Returns 0, or -1 when the homography is singular or a sampling point maps
// to infinity (no sample).
int extractPattern(const unsigned char* image, int width, int height, const int corner[4][2],
                   std::uint8_t sample[kPatternValues]);

struct PatternMatch {
    int id;         // best slot, -1 when no template correlates positively
    int direction;  // best orientation, -1 likewise
    double cf;      // best correlation (0.0 when none is positive, -1.0 for a flat sample)
};

// Correlates the sample with every orientation of every loaded pattern. Returns 0, or -1
// for a flat sample (then id 0, direction 0, cf -1.0).
int matchPattern(const std::uint8_t sample[kPatternValues], const PatternLibrary& library,
                 PatternMatch* match);
