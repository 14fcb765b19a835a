// Squares on the map pages: each page of the grid cut into C columns, lettered
// from the west as the grid's rows are ("A" … "Z", "AA", "AB" …), and R rows
// numbered from the north from 1. A square is named by its column letters and
// row number ("B3"); the index refers to it by its page's PAGE_NO, a space and
// that name ("12 B3").
#pragma once

#include "print/page_grid.h"

#include <QString>

#include <vector>

namespace bramlotte::print {

// How many columns and rows of squares a page is cut into.
struct SquareDivision {
    int columns = 0;
    int rows = 0;
};

constexpr int kMaxSquaresAcross = 1000;  // columns, or rows, on one page
constexpr long long kMaxGridSquares = 1'000'000;

// Reads "CxR" ("4x5": four columns, five rows; "X" does as well): two whole
// numbers from 1 to kMaxSquaresAcross in ASCII digits, nothing around them.
// Throws PrintError, with a message saying what it takes, for anything else.
SquareDivision ParseSquareDivision(const QString& text);

struct GridSquare {
    MapRect rect;
    QString page;    // PAGE of its page, "C12"
    int pageNo = 0;  // PAGE_NO of its page
    QString square;  // SQUARE: column letters and row number, "B3"
    QString ref;     // REF: the page's number, a space and the square, "12 B3"
};

// The name of the square in column `column` and row `row`, both from 1: "B3".
QString SquareName(int column, int row);

// The squares of `page`, row by row from the north and west to east within a
// row. They tile the page exactly: neighbours share an edge, and the outer
// squares have the page's own.
std::vector<GridSquare> PageSquares(const GridCell& page, const SquareDivision& division);

// The squares of every one of `pages`, page after page by PAGE_NO. Throws
// PrintError for a division without squares and for more than `maxSquares`
// squares, before making any.
std::vector<GridSquare> GridSquares(const std::vector<GridCell>& pages,
                                    const SquareDivision& division,
                                    long long maxSquares = kMaxGridSquares);

}  // namespace bramlotte::print
