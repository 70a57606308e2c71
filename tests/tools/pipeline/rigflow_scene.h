// The generated scenes the pipeline tests share, made once per test process.
#pragma once

#include <string>

// 10 poses of a 960 x 720 camera with lens distortion: the accuracy scene.
const std::string& scene();
// 8 poses of a 640 x 480 camera: the scene for the input mistakes.
const std::string& smallScene();
// 2 poses of a 640 x 480 camera: for checks that fire before or at the first program.
const std::string& tinyScene();

// A copy of a scene's inputs (photos, patterns, projection image) in a fresh folder, with
// rigflow.cfg naming both series (unless config names camera_images and projector_images
// itself) followed by the extra configuration lines.
void copyScene(const std::string& to, const std::string& config, const std::string& from = scene());
