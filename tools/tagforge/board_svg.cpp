#include "board_svg.h"

#include <cstdio>
#include <sstream>

#include "board_marks.h"

namespace {
std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string rect(double x, double y, double side, const std::uint8_t bgr[3]) {
    char fill[8];
    std::snprintf(fill, sizeof fill, "#%02x%02x%02x", bgr[2], bgr[1], bgr[0]);
    return "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(side) + "\" height=\"" +
           num(side) + "\" fill=\"" + fill + "\"/>\n";
}

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s)
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    return out;
}
}  // namespace

std::string boardSvg(const std::vector<MarkerPicture>& pictures, const MarkerLayout& l,
                     const BoardPage& page) {
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(page.widthMm)
        << "mm\" height=\"" << num(page.heightMm) << "mm\" viewBox=\"0 0 " << num(page.widthMm)
        << " " << num(page.heightMm) << "\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    const std::uint8_t black[3] = {0, 0, 0};
    const double block = l.markSize * (1 - 2 * kBorderFraction) / kPictureBlocks;
    for (int column = 0; column < kMarkColumns; ++column)
        for (int row = 0; row < kMarkRows; ++row) {
            const int id = markerIdAt(l, column, row);
            if (id < 0 || id >= static_cast<int>(pictures.size())) continue;
            double x, y;
            markerOrigin(l, column, row, &x, &y);
            x += page.originXMm;
            y += page.originYMm;
            svg << "<g id=\"marker" << id << "\">\n" << rect(x, y, l.markSize, black);
            for (int r = 0; r < kPictureBlocks; ++r)
                for (int c = 0; c < kPictureBlocks; ++c)
                    svg << rect(x + l.markSize * kBorderFraction + c * block,
                                y + l.markSize * kBorderFraction + r * block, block,
                                pictures[id].block[r][c]);
            svg << "</g>\n";
        }
    for (const PageMark& m : boardMarks(l, page)) {
        if (m.kind == PageMark::kLine) {
            svg << "<line x1=\"" << num(m.points[0].x) << "\" y1=\"" << num(m.points[0].y)
                << "\" x2=\"" << num(m.points[1].x) << "\" y2=\"" << num(m.points[1].y)
                << "\" stroke=\"#000000\" stroke-width=\"" << num(m.sizeMm) << "\"/>\n";
        } else if (m.kind == PageMark::kFilled) {
            svg << "<polygon points=\"";
            for (std::size_t i = 0; i < m.points.size(); ++i)
                svg << (i ? " " : "") << num(m.points[i].x) << "," << num(m.points[i].y);
            svg << "\" fill=\"#000000\"/>\n";
        } else {
            svg << "<text x=\"" << num(m.points[0].x) << "\" y=\"" << num(m.points[0].y)
                << "\" font-family=\"sans-serif\" font-size=\"" << num(m.sizeMm) << "\">"
                << escaped(m.text) << "</text>\n";
        }
    }
    svg << "</svg>\n";
    return svg.str();
}
