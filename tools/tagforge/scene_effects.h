// What real photos add to a rendered view: hands over the board, stray printouts of
// markers in the room, a cluttered background, and the camera's and projector's look
// (vignetting, defocus that grows towards the corners, sharpening halos, bloom).
#pragma once

#include <opencv2/core.hpp>
#include <random>
#include <string>
#include <vector>

#include "marker_picture.h"

// An ellipse in image pixels.
struct Blob {
    cv::Point2d centre;
    double a = 0, b = 0;  // semi-axes along and across dir
    cv::Point2d dir;      // unit vector of the a axis
};

// A hand: palm and fingers, one skin colour.
struct Occluder {
    std::vector<Blob> parts;
    float bgr[3] = {110, 140, 190};
};

// Hands reaching over the board from its edges, each covering about 5 to 10 % of the
// board's image area. boardQuad: the board's outline in the image, in cyclic order.
std::vector<Occluder> makeHands(int count, const std::vector<cv::Point2d>& boardQuad,
                                std::mt19937& rng);

// Colour of an occluder at (x, y); false when none covers it.
bool occluderColour(const std::vector<Occluder>& hands, double x, double y, float bgr[3]);

// True when an occluder covers any part of the quad grown by margin (a fraction of its
// size): the marker's corners or edges may be hidden.
bool quadTouched(const std::vector<Occluder>& hands, const cv::Point2d quad[4], double margin);

// A printout of a board marker lying in the room: a white sheet twice the marker's side
// with the marker in its middle.
struct StrayMarker {
    int id = 0;
    cv::Point2d centre;
    double side = 0;  // marker side in pixels
    double angle = 0;
};

// Places count stray markers in the image, clear of the board's outline (boardQuad).
std::vector<StrayMarker> placeStrays(int count, int patternCount, double side, cv::Size image,
                                     const std::vector<cv::Point2d>& boardQuad, std::mt19937& rng);

// Colour of a stray printout at (x, y); false when none lies there.
bool strayColour(const std::vector<StrayMarker>& strays, const std::vector<MarkerPicture>& pictures,
                 double x, double y, float bgr[3]);

// The clutter photo scaled and cropped to fill size; empty with *error when unreadable.
cv::Mat loadClutter(const std::string& path, cv::Size size, std::string* error);

struct PhotoLook {
    double blur = 0;         // Gaussian sigma at the image centre
    double defocusEdge = 0;  // sigma in the image corners (0: blur everywhere)
    double vignetting = 0;   // brightness lost in the corners (radial, squared)
    double sharpen = 0;      // unsharp-mask amount of a phone's processing
    double bloom = 0;        // share of the light spread around bright areas
};

// Blur (constant or growing towards the corners) and bloom of a rendered float image.
void applyOptics(const PhotoLook& look, cv::Mat* f);

// Vignetting on a float image.
void applyVignetting(double strength, cv::Mat* f);

// A phone's sharpening of the final 8-bit photo.
cv::Mat applyCameraProcessing(const PhotoLook& look, const cv::Mat& photo);
