#include "board_page.h"

#include <cmath>
#include <cstdio>

namespace {
constexpr double kOwnMarginMm = 20.0;
constexpr double kOwnNoteMm = 15.0;

std::string mm(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(v * 10) / 10);
    return text;
}
}  // namespace

bool parsePaper(const std::string& text, double* w, double* h, std::string* name) {
    struct Named {
        const char* name;
        double w, h;
    };
    for (const Named& p :
         {Named{"A4", 297, 210}, Named{"A3", 420, 297}, Named{"letter", 279.4, 215.9}})
        if (text == p.name) {
            *w = p.w;
            *h = p.h;
            *name = p.name;
            return true;
        }
    double a = 0, b = 0;
    char x = 0, rest[8] = {0};
    if (std::sscanf(text.c_str(), "%lf%c%lf%7s", &a, &x, &b, rest) != 4 || x != 'x' ||
        std::string(rest) != "mm" || !(a >= 50 && b >= 50 && a <= 5000 && b <= 5000))
        return false;
    *w = a;
    *h = b;
    *name = mm(a) + " x " + mm(b) + " mm";
    return true;
}

BoardPage pageAroundBoard(const MarkerLayout& l) {
    BoardPage p;
    p.widthMm = layoutWidth(l) + 2 * kOwnMarginMm;
    p.heightMm = layoutHeight(l) + 2 * kOwnMarginMm + kOwnNoteMm;
    p.originXMm = p.originYMm = kOwnMarginMm;
    return p;
}

bool fitBoardToPaper(double paperW, double paperH, const std::string& paperName, double markSize,
                     double gapRatioX, double gapRatioY, MarkerLayout* layout, BoardPage* page,
                     std::string* refusal) {
    // Board extent per unit of marker side.
    const double unitW = kMarkColumns + (kMarkColumns - 1) * gapRatioX;
    const double unitH = kMarkRows + (kMarkRows - 1) * gapRatioY;
    const double long_ = std::max(paperW, paperH), short_ = std::min(paperW, paperH);
    double best = 0, sheetW = 0, sheetH = 0;
    for (const auto& [w, h] : {std::pair{long_, short_}, std::pair{short_, long_}}) {
        const double side = std::min((w - 2 * kPaperMarginMm) / unitW,
                                     (h - 2 * kPaperMarginMm - kPaperNoteMm) / unitH);
        if (side > best) {
            best = side;
            sheetW = w;
            sheetH = h;
        }
    }
    const double side = markSize > 0 ? markSize : std::floor(best * 2) / 2;
    if (side > best + 1e-9 || side < 1) {
        const double needW = side * unitW + 2 * kPaperMarginMm;
        const double needH = side * unitH + 2 * kPaperMarginMm + kPaperNoteMm;
        *refusal = "a board of " + mm(side) + " mm markers needs a sheet of at least " + mm(needW) +
                   " x " + mm(needH) + " mm; " + paperName + " holds markers of " +
                   mm(std::floor(best * 2) / 2) + " mm at most (leave out --mark-size for them)";
        return false;
    }
    layout->markSize = side;
    layout->spaceX = std::round(side * gapRatioX * 10) / 10;
    layout->spaceY = std::round(side * gapRatioY * 10) / 10;
    page->widthMm = sheetW;
    page->heightMm = sheetH;
    page->paper = paperName + (sheetW >= sheetH ? " landscape" : " portrait");
    // Centred in the room the margins leave.
    page->originXMm = std::round((sheetW - layoutWidth(*layout)) / 2 * 10) / 10;
    page->originYMm =
        std::round((kPaperMarginMm +
                    (sheetH - 2 * kPaperMarginMm - kPaperNoteMm - layoutHeight(*layout)) / 2) *
                   10) /
        10;
    return true;
}

std::vector<std::string> boardNote(const MarkerLayout& l, const BoardPage& page) {
    return {"Print at 100 % (actual size)" + (page.paper.empty() ? "" : " on " + page.paper) +
                "; the bar is " + mm(scaleBarMm(l)) + " mm.",
            "rigflow.cfg: mark_size = " + mm(l.markSize) + ", mark_space_x = " + mm(l.spaceX) +
                ", mark_space_y = " + mm(l.spaceY) + (l.rotation ? ", board_rotation = 1" : "")};
}

double scaleBarMm(const MarkerLayout& l) {
    return layoutWidth(l) >= 100 ? 100 : 50;
}
