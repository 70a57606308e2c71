// Image sizes written as "WxH" (1280x960) on command lines and in configuration files.
#pragma once

#include <string>

// No camera or projector is wider or higher (pixels).
constexpr int kMaxImageSide = 100000;

// Digits, 'x', digits and nothing else (no sign, no space), at most six digits a side, both
// positive and at most kMaxImageSide; false otherwise (width and height untouched).
bool parseImageSize(const std::string& text, int* width, int* height);
