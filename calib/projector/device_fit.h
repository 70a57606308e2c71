// How lumenrig fits a device (camera or projector): OpenCV's calibration, stopped after a
// fixed number of iterations or at machine precision. Whatever predicts lumenrig's results
// (the projector views, the projector's model choice) fits with these same settings.
#pragma once

#include <cfloat>
#include <opencv2/core.hpp>

#include "projector_constants.h"

inline cv::TermCriteria deviceFitCriteria() {
    return cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, kCalibrationIterations,
                            DBL_EPSILON);
}
