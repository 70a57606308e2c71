// The pipeline's configuration file: "key = value" lines; a '#' at the start of a line or
// after white space starts a comment (a '#' inside a value is kept). Each key once.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "marker_board.h"

constexpr int kAutoDistortion = -1;

struct RigflowConfig {
    // The two photo series (printf patterns with one integer conversion, relative to the
    // working directory) and the image the projector casts.
    std::string camera_images;
    std::string projector_images;  // none (and no projector_points): the camera alone
    // Correspondences made earlier instead of photos (folders in tagharvest's layout),
    // with the image sizes they belong to.
    std::string camera_points, projector_points;
    int camera_width = 0, camera_height = 0;
    int projector_width = 0, projector_height = 0;
    std::string projection_image = "projection.png";
    int first_num = 0;
    int image_num = 0;      // 0: every photo from first_num on
    std::set<int> exclude;  // view numbers left out
    // Detection (tagharvest).
    double ar_thresh = 50;  // percent
    int thresh_first = 80, thresh_interval = 10, thresh_repeat_num = 5;
    int adaptive = 1;
    int number_of_pattern = kBoardMarkers;
    double mark_size = kDefaultMarkSizeMm;  // board units (mm)
    double mark_space_x = kDefaultMarkSpaceMm, mark_space_y = kDefaultMarkSpaceMm;
    int board_rotation = 0;
    int minimum_number = 10;
    int subpixel = 1;  // 1: tagharvest refines the corners to a fraction of a pixel
    int jobs = 0;      // photos tagharvest works on at once (0: every core), shared by both series
    // Calibration.
    std::string camera_model = "auto";           // auto, standard (k1 k2 p1 p2 k3), rational
    int camera_iterations = 100;                 // lensrig's iteration limit
    int projector_distortion = kAutoDistortion;  // lumenrig: 0 none, 1 k1 k2 p1 p2 k3
    // Checks of the results: beyond them the run ends with exit status 4.
    double max_rms = 1.0;  // pixels, camera and projector
    int min_views = 6;
    // The OpenGL projection matrices' clipping planes, board units ahead of the device.
    double gl_near = 10, gl_far = 10000;
    int undistort = 1;  // 1: remove the camera's lens distortion before lumenrig
    // joint: one robust solve of the whole rig refines the chain's results (the results files
    // carry it); chain: the programs' results as they are.
    std::string refine = "joint";
    std::string output = "calibration";  // results folder, inside the working directory
};

// Reads the file into config (keys not in the file keep their defaults). Returns an empty
// string, or the message naming the line that is wrong.
std::string readRigflowConfig(const std::string& path, RigflowConfig* config);

// The keys with their meaning, for the help text.
std::vector<std::string> rigflowConfigHelp();

// A minimal configuration file: the keys a photo run needs, with their usual values.
std::string rigflowConfigTemplate();
