// The printable board as SVG in millimetres: it prints at true size from any viewer.
#pragma once

#include <string>
#include <vector>

#include "board_page.h"
#include "marker_picture.h"

std::string boardSvg(const std::vector<MarkerPicture>& pictures, const MarkerLayout& layoutMm,
                     const BoardPage& page);
