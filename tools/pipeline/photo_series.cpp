#include "photo_series.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <stdexcept>

#include "image_header.h"
#include "name_pattern.h"

namespace fs = std::filesystem;

namespace {
constexpr double kBlankGreySpread = 2.0;  // grey-level deviation of a photo with nothing on it
constexpr std::size_t kMaxNamed = 8;

// The file-name pattern split at its conversion: literal text before and after it.
struct NameParts {
    std::string folder, before, after;
};

bool splitPattern(const std::string& pattern, NameParts* parts) {
    const fs::path p(pattern);
    const std::string file = p.filename().string();
    if (countIntegerConversions(p.parent_path().string()) != 0) return false;
    std::size_t i = 0;
    for (; i < file.size(); ++i) {
        if (file[i] != '%') continue;
        if (i + 1 < file.size() && file[i + 1] == '%') {
            ++i;
            continue;
        }
        break;
    }
    if (i >= file.size()) return false;
    std::size_t end = i + 1;
    while (end < file.size() && file[end] != 'd' && file[end] != 'i') ++end;
    parts->folder = expandPattern(p.parent_path().string(), 0);  // "%%" is a literal '%'
    parts->before = expandPattern(file.substr(0, i), 0);
    parts->after = end < file.size() ? expandPattern(file.substr(end + 1), 0) : "";
    return true;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file(ec) || e.is_symlink(ec))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The digits after the literal start of name, and what follows them.
bool digitsAfter(const std::string& name, const std::string& before, std::string* digits,
                 std::string* rest) {
    if (name.compare(0, before.size(), before) != 0) return false;
    std::size_t i = before.size();
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
    if (i == before.size() || i - before.size() > 9) return false;
    *digits = name.substr(before.size(), i - before.size());
    *rest = name.substr(i);
    return true;
}

// ".png" of "cam.png" and of ".png" alike.
std::string extensionOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot);
}

std::string joined(const std::string& folder, const std::string& file) {
    return folder.empty() ? file : (fs::path(folder) / file).generic_string();
}

std::string size(cv::Size s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

std::string numberList(const std::vector<int>& numbers) {
    std::string s;
    for (std::size_t i = 0; i < numbers.size() && i < kMaxNamed; ++i)
        s += (i ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > kMaxNamed) s += ", ...";
    return s;
}
}  // namespace

std::vector<int> numbersOnDisk(const std::string& workDir, const std::string& pattern) {
    NameParts parts;
    std::vector<int> numbers;
    if (!splitPattern(pattern, &parts)) return numbers;
    for (const std::string& name : filesIn(joined(workDir, parts.folder))) {
        std::string digits, rest;
        if (!digitsAfter(name, parts.before, &digits, &rest) || rest != parts.after) continue;
        const int n = std::stoi(digits);
        if (expandPattern(pattern, n) == joined(parts.folder, name)) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::string photoNameHint(const std::string& workDir, const std::string& pattern,
                          const std::string& key) {
    NameParts parts;
    if (!splitPattern(pattern, &parts)) return "";
    const std::string folder = joined(workDir, parts.folder);
    if (!parts.folder.empty() && !fs::is_directory(folder))
        return "there is no folder " + parts.folder + " in " + workDir;
    const std::string ext = extensionOf(parts.after);
    const std::string stemAfter = parts.after.substr(0, parts.after.size() - ext.size());
    for (const std::string& name : filesIn(folder)) {
        std::string digits, rest;
        if (!digitsAfter(name, parts.before, &digits, &rest)) continue;
        std::string conversion = "%d";
        if (digits.size() > 1 && digits[0] == '0')
            conversion = "%0" + std::to_string(digits.size()) + "d";
        std::string after = parts.after;
        if (rest != parts.after) {
            // Another extension (photo.JPG, photo.jpeg) of the same name.
            const std::string otherExt = extensionOf(rest);
            if (rest.substr(0, rest.size() - otherExt.size()) != stemAfter || otherExt.empty())
                continue;
            after = stemAfter + otherExt;
        }
        const std::string suggestion =
            joined(escapePercent(parts.folder),
                   escapePercent(parts.before) + conversion + escapePercent(after));
        if (suggestion == pattern) continue;
        return "the folder holds " + joined(parts.folder, name) + ": set " + key + " = " +
               suggestion;
    }
    return "";
}

std::string viewLabel(const DroppedView& d) {
    if (d.count <= 1) return "view " + std::to_string(d.number);
    return "views " + std::to_string(d.number) + "–" + std::to_string(d.number + d.count - 1);
}

int viewsTried(const PhotoSeries& s) {
    long long n = static_cast<long long>(s.used.size());
    for (const DroppedView& d : s.dropped) n += d.count;
    return static_cast<int>(std::min<long long>(n, INT32_MAX));
}

namespace {
// A gap wider than this parts a stray photo (a date-stamped name) from the series.
constexpr int kStrayGap = 100;

// The numbers of the largest run without a gap wider than kStrayGap (the first of equals);
// the others go to strays.
std::set<int> mainSeries(const std::set<int>& numbers, std::vector<int>* strays) {
    std::vector<std::vector<int>> runs;
    int previous = 0;
    for (int n : numbers) {
        if (runs.empty() || static_cast<long long>(n) - previous > kStrayGap) runs.emplace_back();
        runs.back().push_back(n);
        previous = n;
    }
    std::size_t best = 0;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (runs[i].size() > runs[best].size()) best = i;
    std::set<int> kept;
    for (std::size_t i = 0; i < runs.size(); ++i)
        for (int n : runs[i]) (i == best ? kept.insert(n), void() : strays->push_back(n));
    return kept;
}

// Missing views a .. b (a run of numbers with no photo in any series).
void addGap(long long a, long long b, const std::string& pattern, std::vector<DroppedView>* out) {
    if (a > b) return;
    const int first = static_cast<int>(a);
    if (a == b)
        out->push_back({first, "no photo " + expandPattern(pattern, first)});
    else
        out->push_back({first, "no photos (" + pattern + ")", static_cast<int>(b - a + 1)});
}
}  // namespace

PhotoSeries scanPhotoSeries(const std::string& workDir, const SeriesRequest& q) {
    PhotoSeries s;
    std::vector<std::pair<std::string, std::string>> series = {{q.camera, "camera_images"}};
    if (!q.projector.empty()) series.push_back({q.projector, "projector_images"});
    std::vector<std::set<int>> found;
    const long long last =
        q.imageNum > 0 ? static_cast<long long>(q.firstNum) + q.imageNum - 1 : INT32_MAX;
    for (const auto& [pattern, key] : series) {
        std::set<int> numbers;
        std::vector<int> outside;
        for (int n : numbersOnDisk(workDir, pattern))
            (n >= q.firstNum && n <= last ? numbers.insert(n), void() : outside.push_back(n));
        if (numbers.empty()) {
            std::string message = "no photo " + pattern + " from number " +
                                  std::to_string(q.firstNum) + " (" + key + ", first_num" +
                                  (q.imageNum > 0 ? ", image_num)" : ")");
            const std::string hint = photoNameHint(workDir, pattern, key);
            if (!hint.empty()) message += ": " + hint;
            if (!outside.empty())
                message += "; there are photos numbered " + numberList(outside) +
                           " (set first_num and image_num)";
            throw std::runtime_error(message);
        }
        if (!outside.empty())
            s.notes.push_back(key + ": photos numbered " + numberList(outside) +
                              " lie outside first_num .. first_num + image_num - 1 and are not "
                              "used");
        found.push_back(numbers);
    }

    std::set<int> all;
    for (const std::set<int>& numbers : found) all.insert(numbers.begin(), numbers.end());
    if (q.imageNum == 0) {
        // Without image_num the series is where most photos are: a stray far off is named,
        // never a reason to list every number up to it.
        std::vector<int> strays;
        all = mainSeries(all, &strays);
        if (!strays.empty())
            s.notes.push_back("photos numbered " + numberList(strays) +
                              " lie far from the series (" + std::to_string(*all.begin()) + " .. " +
                              std::to_string(*all.rbegin()) +
                              ") and are not used (rename them, or set first_num and image_num "
                              "to use them)");
    }
    std::vector<int> beyond;
    for (int n : all)
        if (n > kMaxPhotoNumber) beyond.push_back(n);
    if (!beyond.empty())
        throw std::runtime_error(
            "photos numbered " + numberList(beyond) + " are beyond " +
            std::to_string(kMaxPhotoNumber) +
            ", the highest image number tagharvest takes: renumber the photos (0 to " +
            std::to_string(kMaxPhotoNumber) +
            "), or set first_num and image_num to leave them out");

    // Every photo read once: its size and whether anything is on it.
    std::map<int, std::string> problem;
    std::map<cv::Size, int, bool (*)(const cv::Size&, const cv::Size&)> votes(
        [](const cv::Size& a, const cv::Size& b) {
            return a.width != b.width ? a.width < b.width : a.height < b.height;
        });
    std::map<int, std::vector<cv::Size>> sizes;
    for (int n : all) {
        if (q.exclude.count(n)) {
            problem[n] = "excluded (exclude)";
            continue;
        }
        for (std::size_t i = 0; i < series.size() && !problem.count(n); ++i) {
            const std::string name = expandPattern(series[i].first, n);
            if (!found[i].count(n)) {
                problem[n] = "no photo " + name;
                continue;
            }
            const std::string tooLarge = imageTooLarge(joined(workDir, name));
            if (!tooLarge.empty()) {
                problem[n] = tooLarge;
                continue;
            }
            cv::Mat image;
            try {
                image = cv::imread(joined(workDir, name), cv::IMREAD_GRAYSCALE);
            } catch (const cv::Exception&) {
            }
            if (image.empty()) {
                problem[n] = name + " cannot be read as an image";
                continue;
            }
            cv::Scalar mean, spread;
            cv::meanStdDev(image, mean, spread);
            if (spread[0] < kBlankGreySpread)
                problem[n] = name + " is blank (one grey level, " +
                             std::to_string(static_cast<int>(mean[0])) + ")";
            sizes[n].push_back(image.size());
            if (i == 0) ++votes[image.size()];
        }
    }
    if (votes.empty())
        throw std::runtime_error(
            "none of the photos can be used: " +
            (problem.empty() ? std::string("no photo") : problem.begin()->second));
    int readable = 0, best = 0;
    for (const auto& [sz, count] : votes) {
        readable += count;
        if (count > best) {
            best = count;
            s.size = sz;
        }
    }
    if (2 * best <= readable) {
        std::string counts;
        for (const auto& [sz, count] : votes)
            counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " are " + size(sz);
        throw std::runtime_error("the camera photos disagree in size (" + counts +
                                 "): one calibration needs one camera resolution; keep the "
                                 "photos of one size (or exclude the others)");
    }
    long long previous = q.imageNum > 0 ? static_cast<long long>(q.firstNum) - 1 : *all.begin() - 1;
    for (int n : all) {
        addGap(previous + 1, n - 1LL, series[0].first, &s.dropped);
        previous = n;
        if (!problem.count(n))
            for (std::size_t i = 0; i < sizes[n].size(); ++i)
                if (sizes[n][i] != s.size) {
                    problem[n] = expandPattern(series[i].first, n) + " is " + size(sizes[n][i]) +
                                 ", not " + size(s.size) + " like the series";
                    break;
                }
        if (problem.count(n))
            s.dropped.push_back({n, problem[n]});
        else
            s.used.push_back(n);
    }
    if (q.imageNum > 0) addGap(previous + 1, last, series[0].first, &s.dropped);
    if (s.used.empty())
        throw std::runtime_error("no view has every photo it needs: " +
                                 viewLabel(s.dropped.front()) + ": " + s.dropped.front().reason);
    return s;
}

std::string stageSeries(const std::string& workDir, const std::string& pattern,
                        const std::vector<int>& used, const std::string& folder,
                        const std::string& name) {
    // The staged names are a pattern for tagharvest: the folder's own '%' taken literally.
    const std::string ext = fs::path(expandPattern(pattern, used.front())).extension().string();
    const std::string staged = escapePercent(folder + "/" + name) + "%03d" + escapePercent(ext);
    fs::create_directories(joined(workDir, folder));
    for (int n : used) {
        const fs::path target = fs::absolute(joined(workDir, expandPattern(pattern, n)));
        const fs::path link = joined(workDir, expandPattern(staged, n));
        std::error_code ec;
        fs::create_symlink(target, link, ec);
        if (ec) fs::copy_file(target, link, fs::copy_options::overwrite_existing);
    }
    return staged;
}
