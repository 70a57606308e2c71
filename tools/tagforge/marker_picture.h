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

// Designs count pictures (deterministic for a seed): blocks of three dark colours (black,
// blue, red) and three bright ones (white, yellow, cyan). A picture is accepted only when
// it scores at most maxScore against every other orientation of itself and every
// orientation of the pictures accepted before. The first 63 also keep their identity
// when binarized (dark colours black, bright ones white), as the adaptive pass sees them:
// the binarized picture scores at least 0.7 against its own template and at most
// maxScore against any other. Returns false when count pictures could not be found;
// *worst receives the worst score between different templates of the set.
bool designPictures(int count, std::uint32_t seed, double maxScore,
                    std::vector<MarkerPicture>* pictures, double* worst);

// Writes the pattern file of a picture: 3072 integers, orientation 0..3, channel plane
// 0..2, row 0..15, column 0..15 (16 numbers per line). Returns false on a write failure.
bool writePatternFile(const std::string& path, const MarkerPicture& picture);

// Colour (blue, green, red) of the marker at (u, v); white outside the marker.
void markerColour(const MarkerPicture& picture, double u, double v, std::uint8_t bgr[3]);
