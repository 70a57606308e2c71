// State of one tagharvest run, shared by its passes; read only while photos are worked on
// (what a photo needs of its own is in its PhotoWork).
//
// Every point list keeps the corner order of docs/conventions.md.
#pragma once

#include <iostream>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <set>
#include <string>
#include <vector>

#include "camera_param.h"
#include "detector_config.h"
#include "drops_file.h"
#include "engine_context.h"
#include "image_writer.h"
#include "photo_reader.h"

constexpr int kPatternNotFound = 1000;

// One id of the projected pattern image.
struct PatternMarker {
    int id = kPatternNotFound;  // the id once found, kPatternNotFound before
    double cf = 0.0;
    double vertex[4][2] = {};  // corners in pattern-image pixels, engine order
};

// One engine sighting, copied out of the engine's reused storage.
struct DetectionEntry {
    int id;
    double cf;
    double vertex[4][2];
};

struct DetectionSlot {
    int confidentCount = 0;               // entries with cf > AR_thresh (they come first)
    double oversizedShare = 0;            // of the image, in marker-like regions too big to be one
    std::vector<DetectionEntry> entries;  // sorted by cf, descending
};

// Accepted markers of one usable image, ids ascending.
struct ImageResult {
    std::vector<int> ids;
    std::vector<float> confidences;
    std::vector<double> reportedConfidences;  // the same at full precision, as reports print them
    std::vector<cv::Point2f> points2d;        // four corners per marker, or one centre
    std::vector<cv::Point3f> points3d;        // board corners or centres of the same markers
};

struct BoardEntry {
    double corner[4][3] = {};  // board corners 0..3 (x, y, z)
    double centre[3] = {};
};

struct RunState {
    TagharvestArgs args;
    std::set<int> readable;  // image numbers that load at the series size
    double workScale = 1.0;  // the search runs on photos reduced by this (--subpixel)
    int cameraWidth = 0, cameraHeight = 0;  // the series size
    cv::Mat patternImage;
    std::vector<PatternMarker> patternTable;  // by id, number_of_pattern entries
    std::vector<BoardEntry> board;            // by id, at least 63 entries
    std::map<int, int> detectCount;           // accepted markers by image number
    std::vector<int> successList;             // usable image numbers, ascending
    std::vector<ImageResult> results;         // by success-list position
    std::vector<std::string> unwritten;       // files that could not be written
    std::vector<MarkerDrop> drops;            // dropped markers, in image order
    CameraParam cameraRecord{};               // camparam.dat as the detection pass reads it
    // The photo the series size comes from, decoded for it and kept for the detection
    // pass, which takes it (decoded once).
    cv::Mat firstPhoto;
    int firstPhotoNumber = -1;
    // Decodes the series' photos from the end of the series check on, beside the set-up
    // (the pattern image and its table), which keeps one core busy.
    std::unique_ptr<PhotoReader> reader;
    // The engine of the set-up (camera parameters, patterns, buffers) and its image buffer;
    // the photos' workers detect with its camera parameters and patterns, buffers of their own.
    std::unique_ptr<EngineContext> engine = std::make_unique<EngineContext>();
    std::vector<unsigned char> packed;
    // Made by the first image saved (its threads only when needed).
    std::shared_ptr<ImageWriter> writer;

    const DetectorConfig& config() const { return args.config; }
    bool cameraMode() const { return args.config.calib_mode == 0; }
    // Reports folder of the mode: "info/cam" or "info/proj".
    std::string infoFolder() const { return cameraMode() ? "info/cam" : "info/proj"; }
    bool patternFound(int id) const {
        return id >= 0 && id < static_cast<int>(patternTable.size()) &&
               patternTable[id].id != kPatternNotFound;
    }
};

// An image as the series reads it (8-bit BGR); empty when it cannot be decoded.
cv::Mat loadSeriesImage(const std::string& name);

// Appends marker j of from (id, confidences, four corners) to *to.
void appendMarker(const ImageResult& from, std::size_t j, ImageResult* to);

// Says on err why photo n (file name) counts as unusable: it cannot be decoded (size
// empty) or its size differs from the series'.
void reportUnusablePhoto(std::ostream& err, const std::string& name, int n, cv::Size size,
                         cv::Size series);

// Records a file that could not be written and says so on stderr.
void reportUnwritten(RunState* state, const std::string& path);

// Writes an image (on the run's writer threads, which take its pixels over: the caller
// writes no more into them), drawn onto by draw first when given; failures are reported
// and recorded by finishImages. Images with the same non-empty sameAs have the same
// pixels once drawn (ImageWriter::write).
void saveImage(RunState* state, const std::string& path, const cv::Mat& image,
               ImageDrawing draw = {}, std::string sameAs = {});

// Waits for the queued images and records those that could not be written.
void finishImages(RunState* state);

// Converts an 8-bit BGR image (or a grey one, taken as its BGR copy with three equal
// channels) to the engine's packed buffer: rows of blue, green, red, 255, no gap between
// rows.
void toPackedBGRA(const cv::Mat& bgr, std::vector<unsigned char>* buffer);
