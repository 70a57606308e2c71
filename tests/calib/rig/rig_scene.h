// Generated camera + projector rigs with known truth for the joint solve's tests and benchmark.
#pragma once

#include <random>

#include "rig_solve.h"

struct RigSceneSetup {
    int views = 8;
    cv::Size boardGrid{10, 8};      // board points per row, column
    double spacing = 40;            // board units between board points
    cv::Size patternGrid{25, 19};   // projected pattern points over the projector image
    double cameraNoisePx = 0.2;     // σ of the camera on board points
    double projectedNoisePx = 0.2;  // σ of the camera on projected points
    double projectorNoisePx = 0.2;  // σ of the pattern points
    double bending = 0;             // b1 of a one-term bent board, board units
    unsigned seed = 1;
};

struct RigScene {
    std::vector<RigView> views;
    RigInitial truth;  // the exact rig and poses
};

RigScene makeRigScene(const RigSceneSetup& setup);

// The truth moved as separate calibrations might leave it: focal lengths off by 1 %, centres
// by 4 px, lens terms by 10 %, poses by 1° and 1 %, R by 0.5°, T by 2 %.
RigInitial perturbedStart(const RigInitial& truth, unsigned seed);
