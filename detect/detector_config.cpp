#include "detector_config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include "leading_number.h"
#include "name_pattern.h"

TagharvestArgs readTagharvestArgs(char** argv) {
    TagharvestArgs a;
    DetectorConfig& c = a.config;
    DriverArgs& d = a.driver;
    d.Projection_img = argv[1];
    d.Camera_img = argv[2];
    c.first_num = leadingInt(argv[3]);
    c.image_num = leadingInt(argv[4]);
    d.AR_thresh = std::atof(argv[5]) / 100.0;
    d.thresh_first = leadingInt(argv[6]);
    c.Adapbtive_thresh_flag = leadingInt(argv[7]);
    d.thresh_interval = leadingInt(argv[8]);
    d.thresh_repeat_num = leadingInt(argv[9]);
    c.number_of_pattern = leadingInt(argv[10]);
    c.MARK_SIZE = std::atof(argv[11]);
    c.MARK_SPACE_X = std::atof(argv[12]);
    c.MARK_SPACE_Y = std::atof(argv[13]);
    c.center_flag = leadingDecimalAsInt(argv[14]);
    c.boad_rotation = leadingInt(argv[15]);
    c.calib_mode = leadingInt(argv[16]);
    c.Minimum_number = leadingInt(argv[17]);
    c.points_output_file_name = argv[18];
    c.marked_image_name = argv[19];
    c.MARK_NUM_X = kMarkColumns;
    c.MARK_NUM_Y = kMarkRows;
    // Modes, flags and the board's measures are read as above (the echo shows them so),
    // but a token that is not wholly a number is refused: "abc" or "1abc" is a mistake.
    const std::pair<int, const char*> integers[] = {
        {6, "thresh_first"},      {7, "Adapbtive_thresh_flag"}, {8, "thresh_interval"},
        {9, "thresh_repeat_num"}, {15, "boad_rotation"},        {16, "calib_mode"}};
    const std::pair<int, const char*> decimals[] = {
        {11, "MARK_SIZE"}, {12, "MARK_SPACE_X"}, {13, "MARK_SPACE_Y"}, {14, "center_flag"}};
    int i = 0;
    double v = 0;
    for (const auto& [index, name] : integers)
        if (a.unreadable.empty() && !wholeInt(argv[index], &i))
            a.unreadable = std::string(name) + " must be a whole number, not " + argv[index];
    for (const auto& [index, name] : decimals)
        if (a.unreadable.empty() && !wholeFiniteDouble(argv[index], &v))
            a.unreadable = std::string(name) + " must be a finite number, not " + argv[index];
    return a;
}

namespace {
// Board measures: a marker of positive size and gaps from 0 to this many marker sides.
constexpr double kMaxSpaceInMarkers = 100.0;
constexpr double kMaxMarkSize = 1e6;

std::string thresholdProblem(const DriverArgs& d) {
    if (d.thresh_first < 0 || d.thresh_first > 255)
        return "thresh_first must be a grey value from 0 to 255, not " +
               std::to_string(d.thresh_first);
    if (d.thresh_repeat_num > kMaxThresholdRepeats)
        return "thresh_repeat_num must be at most " + std::to_string(kMaxThresholdRepeats) +
               ", not " + std::to_string(d.thresh_repeat_num);
    if (d.thresh_interval == 0 || d.thresh_repeat_num < 1) return "";
    const long long last =
        d.thresh_first + static_cast<long long>(d.thresh_repeat_num - 1) * d.thresh_interval;
    if (last < 0 || last > 255)
        return "the last threshold, thresh_first + (thresh_repeat_num - 1) x thresh_interval = " +
               std::to_string(last) + ", must be a grey value from 0 to 255";
    return "";
}

std::string boardProblem(const DetectorConfig& c) {
    if (!(c.MARK_SIZE > 0 && c.MARK_SIZE <= kMaxMarkSize))
        return "MARK_SIZE must be a positive board length, not " + std::to_string(c.MARK_SIZE);
    for (const double space : {c.MARK_SPACE_X, c.MARK_SPACE_Y})
        if (!(space >= 0 && space <= kMaxSpaceInMarkers * c.MARK_SIZE))
            return "MARK_SPACE_X and MARK_SPACE_Y must lie from 0 to " +
                   std::to_string(static_cast<int>(kMaxSpaceInMarkers)) + " x MARK_SIZE, not " +
                   std::to_string(space);
    return "";
}
}  // namespace

bool isSingleIntegerPattern(const std::string& pattern) {
    return countIntegerConversions(pattern) == 1;
}

std::string validateTagharvestArgs(const TagharvestArgs& a) {
    const DetectorConfig& c = a.config;
    if (!a.unreadable.empty()) return a.unreadable;
    if (c.image_num <= 0) return "image_num must be at least 1";
    // Every image is held in memory: far more than this cannot be a real series.
    if (c.image_num > kMaxSeriesImages)
        return "image_num must be at most " + std::to_string(kMaxSeriesImages);
    if (c.first_num < 0) return "first_num must not be negative";
    if (c.first_num > 2147483647 - c.image_num) return "first_num + image_num is too large";
    if (c.calib_mode != 0 && c.calib_mode != 1)
        return "calib_mode must be 0 (camera) or 1 (projector)";
    if (c.number_of_pattern < 1 || c.number_of_pattern > kMaxPatterns)
        return "number of pattern must be between 1 and 150";
    std::string problem = thresholdProblem(a.driver);
    if (problem.empty()) problem = boardProblem(c);
    if (!problem.empty()) return problem;
    if (!isSingleIntegerPattern(a.driver.Camera_img))
        return "Camera_img must hold exactly one integer conversion such as %03d, and no other: " +
               a.driver.Camera_img;
    if (!isSingleIntegerPattern(c.marked_image_name))
        return "marked_image_name must hold exactly one integer conversion such as %03d, and no "
               "other: " +
               c.marked_image_name;
    return "";
}

void printUsage(std::ostream& out) {
    out << "Usage: tagharvest [--subpixel [--detect-scale S]] Projection_img Camera_img "
           "first_num image_num\n"
           "                  AR_thresh thresh_first Adapbtive_thresh_flag thresh_interval\n"
           "                  thresh_repeat_num \"number of pattern\" MARK_SIZE MARK_SPACE_X "
           "MARK_SPACE_Y\n"
           "                  center_flag boad_rotation calib_mode Minimum_number\n"
           "                  points_output_file_name marked_image_name\n"
           "  19 arguments; Camera_img and marked_image_name are patterns such as img%03d.png.\n"
           "  --subpixel: refine every accepted corner on the photo to a fraction of a pixel\n"
           "  (no truncation); without it the corners are whole pixels. Photos larger than\n"
           "  2048 pixels are then searched on a reduced copy and refined at full size.\n"
           "  --detect-scale S: the reduction (0.05..1, 1 = none) instead of the automatic one.\n"
           "  --jobs N (before the 19 arguments): photos worked on at the same time (default:\n"
           "  the machine's cores with --subpixel, else 1); the output is that of one job.\n";
}

void printConfigurationEcho(const TagharvestArgs& a) {
    const DetectorConfig& c = a.config;
    const DriverArgs& d = a.driver;
    std::cout << "Projection_img : " << d.Projection_img << std::endl;
    std::cout << "Camera_img : " << d.Camera_img << std::endl;
    std::cout << "first_num : " << c.first_num << std::endl;
    std::cout << "image_num : " << c.image_num << std::endl;
    std::cout << "AR_thresh : " << d.AR_thresh << std::endl;
    std::cout << "thresh_first : " << d.thresh_first << std::endl;
    std::cout << "thresh_interval : " << d.thresh_interval << std::endl;
    std::cout << "thresh_repeat_num : " << d.thresh_repeat_num << std::endl;
    std::cout << "points_output_file_name : " << c.points_output_file_name << std::endl;
    std::cout << "number of pattern : " << c.number_of_pattern << std::endl;
    std::cout << "MARK_SIZE : " << c.MARK_SIZE << std::endl;
    std::cout << "MARK_SPACE_X : " << c.MARK_SPACE_X << std::endl;
    std::cout << "MARK_SPACE_Y : " << c.MARK_SPACE_Y << std::endl;
    std::cout << "center_flag : " << c.center_flag << std::endl;
    std::cout << "Adapbtive_thresh_flag : " << c.Adapbtive_thresh_flag << std::endl;
    std::cout << "boad_rotation : " << c.boad_rotation << std::endl;
    std::cout << "Minimum_number : " << c.Minimum_number << std::endl;
    std::cout << (c.calib_mode == 0 ? "calib_mode : Camera" : "calib_mode : Projector")
              << std::endl;
    std::cout << "********************\n\n";
}
