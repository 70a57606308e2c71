// Command line and configuration of the marker correspondence detector.
#pragma once

#include <ostream>
#include <string>

#include "marker_board.h"
#include "name_pattern.h"

// Configuration of the run (named as in the configuration echo).
struct DetectorConfig {
    int first_num = 0;              // number of the first image of the series
    int image_num = 0;              // number of images: first_num .. first_num + image_num - 1
    int center_flag = 0;            // non-zero: one centre per marker in the point lists
    double MARK_SIZE = 0;           // side of a board marker (board units, e.g. mm)
    double MARK_SPACE_X = 0;        // gap between markers along board X
    double MARK_SPACE_Y = 0;        // gap between markers along board Y
    int calib_mode = 0;             // 0 camera mode, 1 projector mode
    int boad_rotation = 0;          // non-zero: board ids run in reverse order
    int Adapbtive_thresh_flag = 0;  // 1: run the adaptive pass on every usable image
    int Minimum_number = 0;         // usable only with more accepted markers than this
    int number_of_pattern = 0;      // pattern files loaded, size of every per-id table
    int MARK_NUM_Y = kMarkRows;     // markers along board Y
    int MARK_NUM_X = kMarkColumns;  // markers along board X
    std::string points_output_file_name;  // output folder of the correspondence files
    std::string marked_image_name;        // printf pattern (one integer conversion)
    bool subpixel = false;   // --subpixel: accepted corners refined on the photo, not truncated
    double detectScale = 0;  // --detect-scale: reduction of the photos for the search (0: auto)
};

// The arguments the driver keeps for itself.
struct DriverArgs {
    std::string Projection_img;  // projected pattern image
    std::string Camera_img;      // printf pattern of the series' file names
    double AR_thresh = 0;        // minimum confidence, a fraction (argument / 100)
    int thresh_first = 0;        // first sweep threshold, also the pattern-image threshold
    int thresh_interval = 0;     // step between sweep thresholds; 0: Otsu's threshold
    int thresh_repeat_num = 0;   // number of sweep thresholds
};

struct TagharvestArgs {
    DetectorConfig config;
    DriverArgs driver;
    std::string unreadable;  // the first flag or mark size that is not a whole number
};

constexpr int kTagharvestArgCount = 19;
constexpr int kMaxPatterns = 150;
constexpr int kMaxSeriesImages = 100000;
// Thresholds are grey values: more sweep steps than 0..255 holds cannot differ.
constexpr int kMaxThresholdRepeats = 256;

// Reads the 19 arguments (argv[1..19]) with atoi / atof semantics, as the echo shows
// them; AR_thresh is divided by 100.
TagharvestArgs readTagharvestArgs(char** argv);

// Checks what would make the run unsafe or meaningless. Returns an empty string when the
// arguments are acceptable, else the message to print.
std::string validateTagharvestArgs(const TagharvestArgs& args);

// True when pattern holds exactly one integer conversion (%d or %i with optional
// flags, width and precision) and no other conversion ("%%" is a literal percent).
bool isSingleIntegerPattern(const std::string& pattern);

void printUsage(std::ostream& out);
void printConfigurationEcho(const TagharvestArgs& args);
