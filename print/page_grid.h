// A grid of map pages over a layer's extent, in the layer's own units. The
// grid starts at the extent's upper-left corner and steps east and south by a
// page's size less the overlap until it covers the whole extent; the last
// column and row may stick out past it. Rows are lettered from the north
// ("A" … "Z", "AA", "AB" …), columns numbered from the west from 1, and
// PAGE_NO counts the pages row by row from the north-west, from 1. Each page
// knows its neighbours in the grid by their PAGE_NO.
#pragma once

#include <QSizeF>
#include <QString>

#include <functional>
#include <vector>

namespace bramlotte::print {

// A rectangle on the map; y grows to the north.
struct MapRect {
    double xMin = 0.0;
    double yMin = 0.0;
    double xMax = 0.0;
    double yMax = 0.0;
};

enum class Paper { A4, A3, Letter };
enum class Orientation { Portrait, Landscape };

// The paper's size in millimetres, width first.
QSizeF PaperSize(Paper paper, Orientation orientation);

// The ground one page covers and the strip neighbouring pages share, in map
// units.
struct PageFootprint {
    double width = 0.0;
    double height = 0.0;
    double overlap = 0.0;
};

// Square pages `size` map units wide, sharing `overlap` map units.
PageFootprint SquarePages(double size, double overlap = 0.0);

// Pages of `paper` at 1:`scale`, for map units in metres. The whole sheet
// shows map (no margin is kept off it): a side of s mm covers
// s / 1000 * scale metres. Neighbours share `overlapMm` of paper.
PageFootprint PaperPages(Paper paper, Orientation orientation, double scale,
                         double overlapMm = 0.0);

// The PAGE_NO of the pages next to a page in the grid; 0 at the grid's edge
// and where the page there was left out.
struct Neighbours {
    int north = 0;
    int east = 0;
    int south = 0;
    int west = 0;
};

struct GridCell {
    MapRect rect;
    QString page;    // PAGE: row letters and column number, "C12"
    QString row;     // ROW: "C"
    int column = 0;  // COL: from 1, west to east
    int pageNo = 0;  // PAGE_NO: from 1, counting only the pages kept
    Neighbours neighbours;
};

// Whether a page, given its rectangle, is worth keeping (say, because it
// meets the layer's features).
using KeepPage = std::function<bool(const MapRect& page)>;

constexpr long long kMaxGridPages = 1'000'000;

// The pages of the grid over `extent`, row by row from the north-west,
// without those `keep` (when given) turns down. Throws PrintError for an
// extent without area, a footprint without size or with an overlap as large
// as a page, and a grid of more than `maxPages` pages (kept or not), before
// making any of them.
std::vector<GridCell> PageGrid(const MapRect& extent, const PageFootprint& footprint,
                               const KeepPage& keep = {}, long long maxPages = kMaxGridPages);

// The letters of row `row` (from 1): 1 "A", 26 "Z", 27 "AA", 703 "AAA". The
// columns of squares on a page are lettered the same way.
QString RowLetters(long long row);

}  // namespace bramlotte::print
