#include "calibration_tree.h"

#include <fstream>
#include <opencv2/calib3d.hpp>

#include "lens_model_kind.h"

namespace {
// The entries of the distortion vector as written (without a lens: five zeros).
std::vector<std::string> coefficientNames(const std::string& model) {
    return fittedCoefficientNames(lensModelNamed(model, LensModel::kNone));
}

TreeNode textList(const std::vector<std::string>& texts) {
    TreeNode n;
    n.kind = TreeNode::kList;
    for (const std::string& t : texts) n.items.push_back(textNode(t));
    return n;
}

TreeNode device(const DeviceResult& d, const std::vector<cv::Mat>& rvecs,
                const std::vector<cv::Mat>& tvecs, double glNear, double glFar) {
    TreeNode n;
    n.add("image_width", numberNode(d.size.width));
    n.add("image_height", numberNode(d.size.height));
    n.add("camera_matrix", matrixNode(d.cameraMatrix));
    TreeNode& dist = n.add("distortion", TreeNode());
    dist.add("model", textNode(d.model));
    dist.add("names", textList(coefficientNames(d.model)));
    dist.add("coefficients", matrixNode(d.distortion.reshape(1, 1)));
    if (!d.stdDeviations.empty()) {
        TreeNode& sigma = n.add("std_deviations", TreeNode());
        const cv::Mat s = d.stdDeviations.reshape(1, 1);
        const std::vector<std::string> names = {"fx", "fy", "cx", "cy"};
        std::vector<std::string> all = names;
        for (const std::string& c : coefficientNames(d.model)) all.push_back(c);
        sigma.add("names", textList(all));
        sigma.add("values", matrixNode(s.colRange(0, std::min<int>(s.cols, all.size()))));
    }
    n.add("rms_reprojection_error", numberNode(d.rms));
    n.add("lens_model_reason", textNode(d.modelReason));
    if (d.dataRadius > 0) {
        TreeNode& valid = n.add("validity", TreeNode());
        valid.add("units", textNode("normalised radius about the principal point"));
        valid.add("data_radius", numberNode(d.dataRadius));
        valid.add("valid_radius", numberNode(d.validRadius));
        valid.add("whole_image", textNode(d.wholeImage ? "yes" : "no"));
        if (!d.wholeImage) valid.add("limit", textNode(d.validityLimit));
    }
    n.add("checks", textNode(d.checks));
    TreeNode& gl = n.add("opengl_projection", TreeNode());
    gl.add("near", numberNode(glNear));
    gl.add("far", numberNode(glFar));
    gl.add("matrix_row_major", matrixNode(cv::Mat(d.glProjection)));
    TreeNode& views = n.add("views", TreeNode());
    views.kind = TreeNode::kList;
    for (std::size_t v = 0; v < d.imageNumbers.size(); ++v) {
        TreeNode view;
        view.add("image_number", numberNode(d.imageNumbers[v]));
        view.add("rms_reprojection_error", numberNode(d.perViewRms[v]));
        if (v < rvecs.size()) {
            view.add("rvec", matrixNode(rvecs[v]));
            view.add("tvec", matrixNode(tvecs[v]));
        }
        views.items.push_back(view);
    }
    return n;
}
}  // namespace

TreeNode calibrationTree(const Results& r, double glNear, double glFar) {
    TreeNode root;
    TreeNode& units = root.add("units", TreeNode());
    units.add("image", textNode("pixels, (0, 0) the centre of the top-left pixel"));
    units.add("length", textNode("board units (the unit of mark_size, usually mm)"));
    units.add("rotation", textNode("Rodrigues vectors and matrices; angles in degrees"));
    root.add("camera", device(r.camera, r.cameraRvecs, r.cameraTvecs, glNear, glFar));
    if (r.hasProjector) {
        root.add("projector", device(r.projector, {}, {}, glNear, glFar));
        const StereoResult& s = r.stereo;
        TreeNode& stereo = root.add("stereo", TreeNode());
        stereo.add("direction", textNode("camera to projector: x_proj = R x_cam + T"));
        stereo.add("R", matrixNode(s.r));
        stereo.add("T", matrixNode(s.t));
        stereo.add("E", matrixNode(s.e));
        stereo.add("F", matrixNode(s.f));
        stereo.add("rms_reprojection_error", numberNode(s.rms));
        stereo.add("baseline", numberNode(cv::norm(s.t)));
        cv::Mat v;
        cv::Rodrigues(s.r, v);
        stereo.add("rotation_deg", numberNode(cv::norm(v) * 180 / CV_PI));
        if (!s.tSigma.empty()) {
            stereo.add("T_std_deviation", matrixNode(s.tSigma));
            stereo.add("baseline_std_deviation", numberNode(s.baselineSigma));
            stereo.add("rotation_std_deviation_deg", numberNode(s.rotationSigmaDeg));
        }
        stereo.add("camera_model", textNode(s.cameraModel));
        stereo.add("checks", textNode(s.checks));
        stereo.add("image_numbers", listNode(s.imageNumbers));
        stereo.add("per_view_rms", listNode(s.perViewRms));
    }
    return root;
}

bool writeCalibrationTree(const std::string& folder, const TreeNode& tree) {
    std::ofstream json(folder + "/calibration.json", std::ios::binary);
    json << toJson(tree);
    json.close();
    std::ofstream yaml(folder + "/calibration.yaml", std::ios::binary);
    yaml << toPlainYaml(tree);
    yaml.close();
    return !json.fail() && !yaml.fail();
}
