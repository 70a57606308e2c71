// The folder of correspondences tagharvest writes and the calibration tools read. Per mode
// a true-number file lists the usable image numbers; per listed number two point files
// pair line by line:
//   camera mode:    cam2D%03d.txt (camera pixels) with cam3D%03d.txt (board coordinates),
//                   listed in cam_true_num.txt;
//   projector mode: proj2D%03d.txt (projected markers in camera pixels) with
//                   pattern%03d.txt (the same markers in projector pixels), listed in
//                   proj_true_num.txt.
// A projector view pairs with the camera view of the same image number: the camera's pose
// of that photo carries the projected markers onto the board.
#pragma once

#include <string>
#include <vector>

enum class PointFile {
    kCameraImage,       // cam2D: board corners in camera pixels
    kCameraBoard,       // cam3D: the same corners in board coordinates
    kProjectedImage,    // proj2D: projected markers in camera pixels
    kProjectedPattern,  // pattern: the same markers in projector pixels
};

// The true-number file's name in a folder (projector: proj_true_num.txt).
const char* trueNumberFileName(bool projector);
std::string trueNumberFile(const std::string& folder, bool projector);

// folder/cam2D007.txt and the like for image number n (the folder taken literally).
std::string pointFile(const std::string& folder, PointFile kind, int n);
// The file-name pattern of a kind, folder/cam2D%03d.txt, as the calibration tools take it
// (a '%' in the folder doubled, so that it stays literal).
std::string pointFilePattern(const std::string& folder, PointFile kind);
// The same without a folder, cam2D%03d.txt.
std::string pointFileNamePattern(PointFile kind);

// The camera view (index into cameraNumbers) that a projector view of image number n
// pairs with; -1 when the camera has no view of that photo.
int pairedCameraView(const std::vector<int>& cameraNumbers, int n);
