// Image sizes from the file header, before any decoding: photos too large to hold are
// refused with a message instead of exhausting the memory.
#pragma once

#include <string>

// The photo pixel limit of the programs: 100 megapixels (a 24 MP photo decodes to 72 MB).
constexpr double kMaxImagePixels = 100e6;

// Width and height from a PNG, JPEG or BMP header; false for other files or a damaged
// header (the decoder then has its say).
bool imageHeaderSize(const std::string& path, int* width, int* height);

// "" when the header is unknown or within the limit; otherwise the message naming the
// file, its size and the limit.
std::string imageTooLarge(const std::string& path);
