#include "html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "joint_report.h"
#include "lens_model_kind.h"
#include "svg_plot.h"

namespace fs = std::filesystem;

namespace {
constexpr int kThumbnailWidth = 200;
constexpr std::size_t kMaxReportedDrops = 500;

std::string fmt(double v, int digits = 6) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    return text;
}

std::string base64(const std::vector<uchar>& bytes) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned b = (bytes[i] << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += table[(b >> 18) & 63];
        out += table[(b >> 12) & 63];
        out += i + 1 < bytes.size() ? table[(b >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? table[b & 63] : '=';
    }
    return out;
}

// The model's coefficients (none without a lens).
const std::vector<std::string>& traitCoefficientNames(const std::string& model) {
    return lensModelTraits(lensModelNamed(model, LensModel::kNone)).coefficientNames;
}

// "value ± sigma" rows for the matrix entries and the model's coefficients.
std::string parameterTable(const DeviceResult& d) {
    std::vector<std::pair<std::string, double>> values = {{"fx", d.cameraMatrix.at<double>(0, 0)},
                                                          {"fy", d.cameraMatrix.at<double>(1, 1)},
                                                          {"cx", d.cameraMatrix.at<double>(0, 2)},
                                                          {"cy", d.cameraMatrix.at<double>(1, 2)}};
    const std::vector<std::string>& names = traitCoefficientNames(d.model);
    const cv::Mat dist = d.distortion.reshape(1, 1);
    for (std::size_t i = 0; i < names.size() && static_cast<int>(i) < dist.cols; ++i)
        values.emplace_back(names[i], dist.at<double>(static_cast<int>(i)));
    const cv::Mat sigma = d.stdDeviations.empty() ? cv::Mat() : d.stdDeviations.reshape(1, 1);
    std::ostringstream s;
    s << "<table><tr><th>parameter</th><th>value</th><th>± 1 σ</th></tr>\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        s << "<tr><td>" << values[i].first << "</td><td>" << fmt(values[i].second, 8)
          << "</td><td>";
        if (static_cast<int>(i) < sigma.cols)
            s << fmt(sigma.at<double>(static_cast<int>(i)), 3);
        else
            s << "–";
        s << "</td></tr>\n";
    }
    s << "</table>\n";
    return s.str();
}

std::string deviceSection(const std::string& name, const DeviceResult& d) {
    std::ostringstream s;
    s << "<h2>" << name << "</h2>\n<p>" << d.size.width << " × " << d.size.height
      << " pixels; lens model <b>" << escapeXml(d.model) << "</b>; RMS reprojection error <b>"
      << fmt(d.rms, 4) << " px</b> over " << d.imageNumbers.size() << " views";
    if (!d.heldOutRms.empty()) {
        s << "; held-out error";
        for (const auto& [model, error] : d.heldOutRms)
            s << " " << escapeXml(model) << " " << fmt(error, 4) << " px";
    }
    s << ".</p>\n";
    if (!d.modelReason.empty()) s << "<p class=\"why\">" << escapeXml(d.modelReason) << "</p>\n";
    s << parameterTable(d);
    return s.str();
}

std::string thumbnails(const std::string& title, const std::string& folder,
                       const std::vector<std::pair<int, std::string>>& marked) {
    std::ostringstream s;
    s << "<h3>" << title << "</h3>\n<div class=\"thumbs\">\n";
    for (const auto& [number, relative] : marked) {
        cv::Mat image;
        try {
            image = cv::imread((fs::path(folder) / relative).string(), cv::IMREAD_COLOR);
        } catch (const cv::Exception&) {
        }
        if (image.empty()) continue;
        cv::Mat small;
        cv::resize(image, small,
                   cv::Size(kThumbnailWidth, image.rows * kThumbnailWidth / image.cols), 0, 0,
                   cv::INTER_AREA);
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", small, jpeg, {cv::IMWRITE_JPEG_QUALITY, 80});
        s << "<figure><a href=\"" << escapeXml(relative) << "\"><img alt=\"view " << number
          << "\" src=\"data:image/jpeg;base64," << base64(jpeg) << "\"></a><figcaption>view "
          << number << "</figcaption></figure>\n";
    }
    s << "</div>\n";
    return s.str();
}

std::vector<Bar> bars(const std::vector<int>& numbers, const std::vector<double>& values) {
    std::vector<Bar> out;
    for (std::size_t i = 0; i < numbers.size() && i < values.size(); ++i)
        out.push_back({std::to_string(numbers[i]), values[i]});
    return out;
}

std::string coverageNote(const std::string& device, const DeviceResult& d) {
    const double share = uncoveredShare(d.size, d.corners, kCoverageColumns, kCoverageRows);
    return "<p>" + device + ": " + fmt(100 * share, 3) + " % of the image holds no corner" +
           (share > 0.3 ? " — the lens distortion there is extrapolated, not measured." : ".") +
           "</p>\n";
}

const char* const kStyle =
    "body{font-family:sans-serif;max-width:1000px;margin:auto;padding:1em;color:#222}"
    "h1{font-size:1.6em}h2{border-bottom:1px solid #ccc;margin-top:1.6em}"
    "table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #ccc;padding:2px 8px;"
    "text-align:right}th{background:#f0f0f0}.failed{background:#fde2e2;border-left:6px solid "
    "#d33b3b;padding:.4em .8em}.warning{background:#fff4d6;border-left:6px solid #e0a000;"
    "padding:.4em .8em}.passed{background:#e3f5e6;border-left:6px solid #22a050;padding:.4em "
    ".8em}.why{color:#555;font-size:.9em}.thumbs{display:flex;flex-wrap:wrap;gap:6px}"
    "figure{margin:0;text-align:center;font-size:.8em}svg{display:block;margin:.5em 0}";
}  // namespace

bool writeHtmlReport(const std::string& path, const ReportPage& page) {
    const Results& r = *page.results;
    std::ostringstream h;
    h << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      << "<title>Calibration report</title><style>" << kStyle << "</style></head><body>\n"
      << "<h1>Calibration report</h1>\n";
    // What to act on first.
    if (page.findings.empty()) h << "<div class=\"passed\">Every check passed.</div>\n";
    for (const Finding& f : page.findings)
        h << "<div class=\"" << (f.failed ? "failed" : "warning") << "\"><b>"
          << (f.failed ? "FAILED: " : "Warning: ") << escapeXml(f.what)
          << "</b><br>Likely: " << escapeXml(f.causes) << "</div>\n";

    h << "<h2>Views</h2>\n<p>camera " << r.camera.imageNumbers.size() << " of " << page.viewsTried;
    if (r.hasProjector)
        h << ", projector " << r.projector.imageNumbers.size() << " of " << page.viewsTried;
    h << " views used.</p>\n";
    if (!page.dropped.empty()) {
        h << "<table><tr><th>view</th><th>not used because</th></tr>\n";
        // Bounded: a folder of thousands of stray files must not make a report of gigabytes.
        const std::size_t shown = std::min(page.dropped.size(), kMaxReportedDrops);
        for (std::size_t i = 0; i < shown; ++i) {
            const DroppedView& d = page.dropped[i];
            h << "<tr><td>" << d.number;
            if (d.count > 1) h << "–" << d.number + d.count - 1;
            h << "</td><td style=\"text-align:left\">" << escapeXml(d.reason) << "</td></tr>\n";
        }
        h << "</table>\n";
        if (shown < page.dropped.size())
            h << "<p>… and " << page.dropped.size() - shown << " more views not used.</p>\n";
    }

    h << deviceSection("Camera", r.camera);
    if (r.hasProjector) {
        h << deviceSection("Projector", r.projector);
        const StereoResult& s = r.stereo;
        cv::Mat v;
        cv::Rodrigues(s.r, v);
        h << "<h2>Stereo (camera to projector: x_proj = R x_cam + T)</h2>\n<p>RMS error <b>"
          << fmt(s.rms, 4) << " px</b>; baseline <b>" << fmt(cv::norm(s.t)) << " ± "
          << fmt(s.baselineSigma, 3) << "</b> board units; rotation <b>"
          << fmt(cv::norm(v) * 180 / CV_PI) << " ± " << fmt(s.rotationSigmaDeg, 3)
          << "°</b>; T = (";
        for (int i = 0; i < 3; ++i)
            h << (i ? ", " : "") << fmt(s.t.at<double>(i))
              << (s.tSigma.empty() ? "" : " ± " + fmt(s.tSigma.at<double>(i), 3));
        h << (page.joint ? "). The ± figures are one standard deviation from the joint solve "
                           "(below).</p>\n"
                         : "). The ± figures are one standard deviation of the per-view "
                           "camera-to-projector poses: how far the views disagree (an estimate; "
                           "the stereo fit gives none).</p>\n")
          << "<p class=\"why\">" << escapeXml(s.cameraModel) << "</p>\n";
        if (page.joint) h << jointReportSection(*page.joint, r);
    }

    h << "<h2>Error per view</h2>\n"
      << svgBarChart("Camera: RMS reprojection error per view",
                     bars(r.camera.imageNumbers, r.camera.perViewRms), r.camera.rms,
                     outlierLimit(r.camera.perViewRms), "over 3 × the median");
    if (r.hasProjector) {
        h << svgBarChart("Projector: RMS reprojection error per view",
                         bars(r.projector.imageNumbers, r.projector.perViewRms), r.projector.rms,
                         outlierLimit(r.projector.perViewRms), "over 3 × the median");
        double sum = 0;
        for (double e : r.stereo.perViewRms) sum += e * e;
        const double all =
            r.stereo.perViewRms.empty() ? 0 : std::sqrt(sum / r.stereo.perViewRms.size());
        h << svgBarChart("Stereo: projected markers through the camera's pose and R, T",
                         bars(r.stereo.imageNumbers, r.stereo.perViewRms), all,
                         outlierLimit(r.stereo.perViewRms), "over 3 × the median")
          << "<p class=\"why\">The stereo bars follow each projected marker from the camera "
             "photo onto the board of the camera's pose and through R, T into the projector: "
             "they measure the whole chain, so they exceed the projector's own errors.</p>\n";
    }

    h << "<h2>Residuals</h2>\n<p>Each corner's detected position minus where the calibrated "
         "model puts it. A round cloud without structure is what a good fit leaves; arrows "
         "that swirl or point outward over the image mean the lens model misses something.</p>\n"
      << svgResidualScatter("Camera residuals", r.camera.residuals)
      << svgResidualArrows("Camera residuals over the image", r.camera.size, r.camera.corners,
                           r.camera.residuals);
    if (r.hasProjector)
        h << svgResidualScatter("Projector residuals", r.projector.residuals)
          << svgResidualArrows("Projector residuals over the image", r.projector.size,
                               r.projector.corners, r.projector.residuals);

    h << "<h2>Coverage</h2>\n<p>Where the corners fell. Cells without any corner (shaded) "
         "are parts of the image the lens model was not fitted to.</p>\n"
      << svgCoverage("Camera image", r.camera.size, r.camera.corners, kCoverageColumns,
                     kCoverageRows)
      << coverageNote("camera", r.camera);
    if (r.hasProjector)
        h << svgCoverage("Projector image", r.projector.size, r.projector.corners, kCoverageColumns,
                         kCoverageRows)
          << coverageNote("projector", r.projector);

    if (!page.cameraMarked.empty() || !page.projectorMarked.empty()) {
        h << "<h2>Detected markers</h2>\n<p>Each photo with its identified markers; click for "
             "the full image.</p>\n"
          << thumbnails("Camera photos", page.reportFolder, page.cameraMarked);
        if (!page.projectorMarked.empty())
            h << thumbnails("Projector photos", page.reportFolder, page.projectorMarked);
    }
    h << "<h2>Files</h2>\n<p>camera.yaml, projector.yaml, stereo.yaml (OpenCV), "
         "calibration.json and calibration.yaml (plain, full precision, with the OpenGL "
         "projection matrices).</p>\n</body></html>\n";
    std::ofstream out(path, std::ios::binary);
    out << h.str();
    out.close();
    return !out.fail();
}
