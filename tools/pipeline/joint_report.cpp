#include "joint_report.h"

#include <cmath>
#include <opencv2/calib3d.hpp>
#include <sstream>

#include "lens_model_kind.h"
#include "svg_plot.h"

namespace {
std::string fixedDigits(double v, int digits = 6) {
    std::ostringstream s;
    s.precision(digits);
    s << v;
    return s.str();
}

double at(const cv::Mat& m, int i) {
    return m.empty() || i >= static_cast<int>(m.total()) ? NAN : m.reshape(1, 1).at<double>(i);
}

double angleDeg(const cv::Mat& r) {
    cv::Mat v;
    cv::Rodrigues(r, v);
    return cv::norm(v) * 180 / CV_PI;
}

struct Row {
    std::string name;
    double chain, joint, sigma;  // sigma NAN: none
};

void deviceRows(const std::string& device, const DeviceResult& c, const DeviceResult& j,
                std::vector<Row>* rows) {
    const char* names[] = {"fx", "fy", "cx", "cy"};
    const int k[4][2] = {{0, 0}, {1, 1}, {0, 2}, {1, 2}};
    for (int i = 0; i < 4; ++i)
        rows->push_back({device + " " + names[i], c.cameraMatrix.at<double>(k[i][0], k[i][1]),
                         j.cameraMatrix.at<double>(k[i][0], k[i][1]), at(j.stdDeviations, i)});
    // A name that is no model's is read as the standard model's five coefficients.
    const std::vector<std::string>& terms =
        lensModelTraits(lensModelNamed(j.model, LensModel::kStandard)).coefficientNames;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const int k = static_cast<int>(i);
        rows->push_back({device + " " + terms[i], at(c.distortion, k), at(j.distortion, k),
                         at(j.stdDeviations, 4 + k)});
    }
    rows->push_back({device + " RMS error (px)", c.rms, j.rms, NAN});
}

std::string comparison(const JointRefinement& j, const Results& r) {
    std::vector<Row> rows;
    deviceRows("camera", j.chain.camera, r.camera, &rows);
    deviceRows("projector", j.chain.projector, r.projector, &rows);
    const RigSolution& s = j.solution;
    rows.push_back({"baseline |T|", cv::norm(j.chain.stereo.t), s.baseline, s.sigmaBaseline});
    for (int i = 0; i < 3; ++i)
        rows.push_back({std::string("T") + "xyz"[i], at(j.chain.stereo.t, i), s.T[i], s.sigmaT[i]});
    rows.push_back({"rotation (deg)", angleDeg(j.chain.stereo.r), s.rotationAngleDeg,
                    s.sigmaRotationAngleDeg});
    rows.push_back({"stereo RMS error (px)", j.chain.stereo.rms, r.stereo.rms, NAN});
    std::ostringstream h;
    h << "<table><tr><th>parameter</th><th>chain</th><th>joint</th><th>± 1 σ</th>"
         "<th>change</th><th>change / σ</th></tr>\n";
    for (const Row& x : rows) {
        const double change = x.joint - x.chain;
        h << "<tr><td style=\"text-align:left\">" << escapeXml(x.name) << "</td><td>"
          << fixedDigits(x.chain, 8) << "</td><td>" << fixedDigits(x.joint, 8) << "</td><td>"
          << (std::isnan(x.sigma) ? "–" : fixedDigits(x.sigma, 3)) << "</td><td>"
          << fixedDigits(change, 3) << "</td><td>"
          << (std::isnan(x.sigma) || !(x.sigma > 0) ? "–" : fixedDigits(change / x.sigma, 3))
          << "</td></tr>\n";
    }
    h << "</table>\n";
    return h.str();
}

std::string rejectedPart(const JointRefinement& j) {
    const RigSolution& s = j.solution;
    std::ostringstream h;
    h << "<h3>Rejected points</h3>\n<p>" << s.rejected.size() << " of " << s.observations
      << " points rejected as outliers (beyond a few σ of their group's residual spread)";
    if (s.rejected.empty()) return h.str() + ".</p>\n";
    h << ".</p>\n<table><tr><th>view</th><th>rejected</th></tr>\n";
    for (std::size_t v = 0; v < j.views.size() && v < s.rejectedPerView.size(); ++v)
        if (s.rejectedPerView[v] > 0)
            h << "<tr><td>" << j.views[v].imageNumber << "</td><td>" << s.rejectedPerView[v]
              << "</td></tr>\n";
    h << "</table>\n<details><summary>every rejected point</summary><ul>\n";
    for (const std::string& line : rejectedLines(j)) h << "<li>" << escapeXml(line) << "</li>\n";
    h << "</ul></details>\n";
    return h.str();
}
}  // namespace

std::string jointReportSection(const JointRefinement& j, const Results& r) {
    const RigSolution& s = j.solution;
    std::ostringstream h;
    h << "<h2>Joint solve</h2>\n<p>The results above come from one robust least-squares solve of "
         "the camera, the projector, every board pose and R, T together, started from the "
         "programs' results (the chain). The ± figures are one standard deviation from its "
         "covariance, scaled by the spread of the residuals. Noise σ per group: camera board "
         "points "
      << fixedDigits(s.groupSigma[0], 3) << " px, projected points in the camera "
      << fixedDigits(s.groupSigma[1], 3) << " px, in the projector "
      << fixedDigits(s.groupSigma[2], 3) << " px; reduced χ² " << fixedDigits(s.reducedChi2, 3)
      << "; " << s.iterations << " iterations.</p>\n"
      << comparison(j, r) << rejectedPart(j);
    h << "<h3>Projection uncertainty</h3>\n<p>σ in pixels of projecting a point at the working "
         "distance ("
      << fixedDigits(j.workingDistance, 4)
      << " board units) into each device, from the solve's covariance: where it grows, the "
         "calibration is less certain (usually where no views put the board).</p>\n";
    if (!j.cameraSigmaMap.empty())
        h << svgHeatMap("Camera: projection σ", r.camera.size, j.cameraSigmaMap, "px");
    if (!j.projectorSigmaMap.empty())
        h << svgHeatMap("Projector: projection σ (R, T included)", r.projector.size,
                        j.projectorSigmaMap, "px");
    for (const std::string& note : j.notes) h << "<p class=\"why\">" << escapeXml(note) << "</p>\n";
    return h.str();
}
