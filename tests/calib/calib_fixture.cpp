#include "calib_fixture.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <sstream>

#include "correspondence_folder.h"
#include "test_support.h"

SyntheticCamera testCamera(const cv::Mat& distortion) {
    return SyntheticCamera{cv::Matx33d(700, 0, 322.5, 0, 703, 236.25, 0, 0, 1), distortion.clone(),
                           cv::Size(640, 480)};
}

SyntheticViews makeViews(const SyntheticCamera& cam, int views, unsigned seed) {
    SyntheticViews v;
    for (int col = 0; col < 9; ++col)
        for (int row = 0; row < 7; ++row) {
            const float x0 = col * 40.0f, y0 = row * 40.0f, x1 = x0 + 30, y1 = y0 + 30;
            v.board.insert(v.board.end(), {{x1, y1, 0}, {x0, y1, 0}, {x0, y0, 0}, {x1, y0, 0}});
        }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> tilt(10, 35), turn(-15, 15), shift(-1, 1), depth(0, 1);
    const double deg = CV_PI / 180;
    while (static_cast<int>(v.rvecs.size()) < views) {
        const int i = static_cast<int>(v.rvecs.size());
        const double ax = ((i % 2) ? 1 : -1) * tilt(rng) * deg,
                     ay = (((i / 2) % 2) ? 1 : -1) * tilt(rng) * deg;
        const cv::Matx33d rx(1, 0, 0, 0, std::cos(ax), -std::sin(ax), 0, std::sin(ax),
                             std::cos(ax));
        const cv::Matx33d ry(std::cos(ay), 0, std::sin(ay), 0, 1, 0, -std::sin(ay), 0,
                             std::cos(ay));
        const double az = turn(rng) * deg;
        const cv::Matx33d rz(std::cos(az), -std::sin(az), 0, std::sin(az), std::cos(az), 0, 0, 0,
                             1);
        const cv::Matx33d r = rz * rx * ry;
        const double z = 700.0 * 350 / (640 * (0.6 + 0.2 * depth(rng)));
        const cv::Vec3d centre(shift(rng) * 0.05 * z, shift(rng) * 0.04 * z, z);
        const cv::Vec3d t = centre - r * cv::Vec3d(175, 135, 0);
        cv::Vec3d rvec;
        cv::Rodrigues(r, rvec);
        std::vector<cv::Point2f> img;
        cv::projectPoints(v.board, rvec, t, cam.k, cam.distortion, img);
        bool inside = true;
        for (const cv::Point2f& p : img)
            inside = inside && p.x > 5 && p.y > 5 && p.x < cam.size.width - 6 &&
                     p.y < cam.size.height - 6;
        if (!inside) continue;
        v.rvecs.push_back(rvec);
        v.tvecs.push_back(t);
    }
    return v;
}

std::vector<std::vector<cv::Point2f>> projectViews(const SyntheticCamera& cam,
                                                   const SyntheticViews& v, double noisePx,
                                                   unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, noisePx);
    std::vector<std::vector<cv::Point2f>> out;
    for (std::size_t i = 0; i < v.rvecs.size(); ++i) {
        std::vector<cv::Point2f> img;
        cv::projectPoints(v.board, v.rvecs[i], v.tvecs[i], cam.k, cam.distortion, img);
        if (noisePx > 0)
            for (cv::Point2f& p : img) {
                p.x += static_cast<float>(noise(rng));
                p.y += static_cast<float>(noise(rng));
            }
        out.push_back(img);
    }
    return out;
}

void writePointFile2(const std::string& path, const std::vector<cv::Point2f>& points,
                     const char* separator) {
    std::ofstream out(path);
    for (const cv::Point2f& p : points) out << p.x << separator << p.y << "\n";
}

void writeTrueNumbers(const std::string& path, const std::vector<int>& numbers) {
    std::ofstream out(path);
    for (int n : numbers) out << n << "\n";
}

void writeCameraRun(const std::string& dir, const std::string& folder,
                    const std::vector<int>& numbers,
                    const std::vector<std::vector<cv::Point2f>>& image,
                    const std::vector<cv::Point3f>& board, const cv::Size& size) {
    std::filesystem::create_directories(dir + "/" + folder);
    const std::string points = dir + "/" + folder;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        writePointFile2(pointFile(points, PointFile::kCameraImage, numbers[i]), image[i]);
        std::ofstream out3(pointFile(points, PointFile::kCameraBoard, numbers[i]));
        for (const cv::Point3f& p : board) out3 << p.x << "\t" << p.y << "\t" << p.z << "\t\n";
        char name[64];
        std::snprintf(name, sizeof name, "/img%03d.png", numbers[i]);
        if (!std::filesystem::exists(dir + name))
            cv::imwrite(dir + name, cv::Mat(size, CV_8UC3, cv::Scalar(128, 128, 128)));
    }
    writeTrueNumbers(trueNumberFile(points, false), numbers);
}

std::vector<double> readValues(const std::string& path) {
    std::istringstream in(readFile(path));
    std::vector<double> values;
    double v;
    while (in >> v) values.push_back(v);
    return values;
}

SyntheticProjector testProjector() {
    const double a = 14 * CV_PI / 180, b = -3 * CV_PI / 180;
    const cv::Matx33d ry(std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a));
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b), std::cos(b));
    const cv::Matx33d r = rx * ry;
    const cv::Vec3d centre(150, -20, 5);  // projector position in camera coordinates
    return SyntheticProjector{cv::Matx33d(1800, 0, 520, 0, 1795, 610, 0, 0, 1), cv::Size(1024, 768),
                              r, -(r * centre)};
}

void projectorViews(const SyntheticCamera& cam, const SyntheticProjector& proj,
                    const SyntheticViews& v, double noisePx, unsigned seed,
                    std::vector<std::vector<cv::Point2f>>* onCamera,
                    std::vector<std::vector<cv::Point2f>>* pattern) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, noisePx);
    onCamera->clear();
    pattern->clear();
    const cv::Vec3d origin = -(proj.r.t() * proj.t);
    for (std::size_t i = 0; i < v.rvecs.size(); ++i) {
        cv::Matx33d rb;
        cv::Rodrigues(v.rvecs[i], rb);
        const cv::Vec3d n(rb(0, 2), rb(1, 2), rb(2, 2));
        std::vector<cv::Point3d> lit;
        std::vector<cv::Point2f> pat;
        for (int col = 0; col < 9; ++col)
            for (int row = 0; row < 7; ++row) {
                const cv::Point2f px(262.0f + 62.5f * col, 214.0f + 56.5f * row);
                const cv::Vec3d dir =
                    proj.r.t() * cv::Vec3d((px.x - proj.k(0, 2)) / proj.k(0, 0),
                                           (px.y - proj.k(1, 2)) / proj.k(1, 1), 1.0);
                const double s = n.dot(v.tvecs[i] - origin) / n.dot(dir);
                lit.push_back(cv::Point3d(origin + s * dir));  // camera coordinates
                pat.push_back(px);
            }
        std::vector<cv::Point2d> projected;
        cv::projectPoints(lit, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), cam.k, cam.distortion,
                          projected);
        std::vector<cv::Point2f> cam2d;
        for (const cv::Point2d& p : projected)
            cam2d.emplace_back(static_cast<float>(p.x + noise(rng)),
                               static_cast<float>(p.y + noise(rng)));
        onCamera->push_back(cam2d);
        pattern->push_back(pat);
    }
}

void writeProjectorRun(const std::string& dir, const std::vector<int>& numbers,
                       const std::vector<std::vector<cv::Point2f>>& onCamera,
                       const std::vector<std::vector<cv::Point2f>>& pattern) {
    std::filesystem::create_directories(dir + "/proj");
    for (int n : numbers) {
        writePointFile2(pointFile(dir + "/proj", PointFile::kProjectedImage, n), onCamera[n]);
        writePointFile2(pointFile(dir + "/proj", PointFile::kProjectedPattern, n), pattern[n], " ");
    }
    writeTrueNumbers(trueNumberFile(dir + "/proj", true), numbers);
}

double rereadError(const std::string& folder, const std::vector<int>& numbers,
                   const std::vector<std::vector<cv::Point2f>>& image,
                   const std::vector<cv::Point3f>& board) {
    const std::vector<double> k = readValues(folder + "/Cam_mat.txt");
    const std::vector<double> d = readValues(folder + "/dist.txt");
    double squares = 0;
    std::size_t count = 0;
    for (std::size_t v = 0; v < numbers.size(); ++v) {
        const std::vector<double> r = readValues(folder + cv::format("/cam_R%03d.txt", numbers[v]));
        const std::vector<double> t = readValues(folder + cv::format("/cam_t%03d.txt", numbers[v]));
        std::vector<cv::Point2f> projected;
        cv::projectPoints(board, r, t, cv::Mat(k).reshape(1, 3), d, projected);
        for (std::size_t i = 0; i < projected.size(); ++i) {
            const cv::Point2f e = projected[i] - image[v][i];
            squares += e.x * e.x + e.y * e.y;
        }
        count += projected.size();
    }
    return std::sqrt(squares / count);
}
