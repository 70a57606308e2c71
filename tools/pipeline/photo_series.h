// The photo series as they are on disk: which numbered photos exist, which views are used
// and why the others are not, the series' image size, and hints when a name is wrong.
#pragma once

#include <opencv2/core.hpp>
#include <set>
#include <string>
#include <vector>

struct DroppedView {
    int number;
    std::string reason;
    int count = 1;  // a run of views number .. number + count - 1 with the same reason
};

// "view 4" or "views 6–20240114".
std::string viewLabel(const DroppedView& d);

// The highest photo number tagharvest takes (its per-image tables hold 0..299).
constexpr int kMaxPhotoNumber = 299;

struct PhotoSeries {
    std::vector<int> used;             // views with every photo they need, in order
    std::vector<DroppedView> dropped;  // the others, in order, with the reason
    std::vector<std::string> notes;    // photos that look like the series but are not used
    cv::Size size;                     // the size most camera photos share
};

// The views the series spans: the used ones and every dropped one.
int viewsTried(const PhotoSeries& series);

// The numbers n for which pattern (printf, one integer conversion in the file name,
// relative to workDir) names an existing file.
std::vector<int> numbersOnDisk(const std::string& workDir, const std::string& pattern);

// What to change when pattern finds no photo: other extensions, zero padding or folders
// that exist. key names the configuration key; empty when nothing close exists.
std::string photoNameHint(const std::string& workDir, const std::string& pattern,
                          const std::string& key);

struct SeriesRequest {
    std::string camera, projector;  // patterns; projector empty for the camera alone
    int firstNum = 0;
    int imageNum = 0;  // 0: every photo from firstNum on
    std::set<int> exclude;
};

// Scans both series: pairs views by number (a view needs both photos), reads every photo
// once, takes the size most camera photos share and drops unreadable, blank and other-sized
// photos. Numbers far from the series (a date-stamped name) are named and left out; runs of
// missing numbers are one dropped range. Throws std::runtime_error with a message that names
// the fix when no view is left, the photos disagree in size or a used number is beyond
// kMaxPhotoNumber.
PhotoSeries scanPhotoSeries(const std::string& workDir, const SeriesRequest& request);

// Links (or copies) the used photos into folder under their numbers, so that the detector
// sees exactly the used views. Returns the pattern of the linked photos.
std::string stageSeries(const std::string& workDir, const std::string& pattern,
                        const std::vector<int>& used, const std::string& folder,
                        const std::string& name);
