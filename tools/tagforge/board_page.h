// The printed sheet around the board: its size in millimetres, where the board's origin
// (the outer top-left corner of the first marker) sits on it, and the fitting of the
// largest board a paper size holds.
#pragma once

#include <string>
#include <vector>

#include "board_layout.h"

struct BoardPage {
    double widthMm = 0, heightMm = 0;
    double originXMm = 0, originYMm = 0;  // the board's origin on the sheet
    std::string paper;                    // "A4 landscape", "" when sized to the board
};

// The sheet's margins around the markers: room for the axes and, below, the print note.
constexpr double kPaperMarginMm = 15.0;
constexpr double kPaperNoteMm = 12.0;

// "A4", "A3", "letter" or "WxHmm" (e.g. "500x400mm"): the sheet in millimetres, either
// orientation. False for anything else.
bool parsePaper(const std::string& text, double* widthMm, double* heightMm, std::string* name);

// The sheet sized to the board: 20 mm margins and room for the note below.
BoardPage pageAroundBoard(const MarkerLayout& layout);

// Fits the board on the sheet (landscape or portrait, whichever holds the larger board).
// With markSize > 0 the marker side is fixed and only checked; with 0 the largest side in
// whole half millimetres is taken, the gaps keeping their ratio to it. The layout's
// markSize and spaces are set; false with a refusal that names the size needed.
bool fitBoardToPaper(double paperW, double paperH, const std::string& paperName, double markSize,
                     double gapRatioX, double gapRatioY, MarkerLayout* layout, BoardPage* page,
                     std::string* refusal);

// The print note: the sizes to print at and to type into the pipeline's configuration.
std::vector<std::string> boardNote(const MarkerLayout& layout, const BoardPage& page);

// Length of the scale bar: 100 mm when the board is at least that wide, else 50 mm.
double scaleBarMm(const MarkerLayout& layout);
