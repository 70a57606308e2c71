// Image sizes written as "WxH" (1280x960) on command lines and in configuration files.
#pragma once

#include <string>

// Both numbers positive and at most 100000; false otherwise (width and height untouched).
bool parseImageSize(const std::string& text, int* width, int* height);
