// Marker pictures: the coloured 4 x 4 block pictures inside the black marker border, and
// their pattern files.
//
// Marker plane: (u, v) in [0, 1]^2, u to the right and v downward on the upright marker.
// The black border fills everything outside the central half (0.25 .. 0.75 on both axes);
// the picture fills the central half as 4 x 4 blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kPictureBlocks = 4;
constexpr double kBorderFraction = 0.25;

struct MarkerPicture {
    std::uint8_t block[kPictureBlocks][kPictureBlocks][3];  // [row][column] blue, green, red
};

// Intensity template of one orientation in the engine's sample layout [row][column]
// [channel] (16 x 16 x 3): what the engine samples from the picture when the marker is
// turned by orientation x 90 degrees clockwise on screen. The engine samples from the
// corner farthest from the outline's top-left start pixel, so orientation 0 is the
// picture turned by 180 degrees.
std::vector<int> orientationTemplate(const MarkerPicture& picture, int orientation);

// Correlation of two intensity templates exactly as the engine's matcher computes it
// (inverted, integer mean removed, cosine of the angle); 0 when either is flat.
double templateScore(const std::vector<int>& a, const std::vector<int>& b);

// Worst score between the orientations of two different pictures, and of one picture's
// orientation 0 against its other orientations (pass the same picture twice).
double worstScore(const MarkerPicture& a, const MarkerPicture& b);

// Designs count pictures (deterministic for a seed): blocks from the eight corners of the
// colour cube, each picture accepted only when it scores at most maxScore against every
// orientation of itself and of every picture accepted before. Returns false when count
// pictures could not be found; *worst receives the worst score of the set.
bool designPictures(int count, std::uint32_t seed, double maxScore,
                    std::vector<MarkerPicture>* pictures, double* worst);

// Writes the pattern file of a picture: 3072 integers, orientation 0..3, channel plane
// 0..2, row 0..15, column 0..15 (16 numbers per line). Returns false on a write failure.
bool writePatternFile(const std::string& path, const MarkerPicture& picture);

// Colour (blue, green, red) of the marker at (u, v); white outside the marker.
void markerColour(const MarkerPicture& picture, double u, double v, std::uint8_t bgr[3]);
