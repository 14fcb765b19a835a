// `bramlotte grid`: a grid of map pages over a layer, written as a
// GeoPackage ready to be Layer #1 of a build and an atlas's coverage layer.
#pragma once

#include "print/page_squares.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace bramlotte::cli {

struct GridOptions {
    QStringList maps;
    QString layer;
    std::optional<double> cell;    // square pages of this size, in map units
    std::optional<QString> paper;  // or pages of paper: A4, A3, Letter …
    std::optional<double> scale;   // … at 1:scale
    bool landscape = false;
    double overlap = 0.0;  // mm of paper; map units with --cell
    bool onlyWhereData = false;
    // Each page cut into squares, written as a second table "squares".
    std::optional<print::SquareDivision> squares;
    QString saveAs;
    bool yes = false;  // replace an existing file
};

// Makes the grid; returns the exit status (0 written, 1 refused, 2 failure,
// 64 bad usage). The file written goes to `out`, messages to `err`.
int runGrid(const GridOptions& options, QTextStream& out, QTextStream& err);

}  // namespace bramlotte::cli
