// The index set in columns on printed pages: the sorted index lines flow down
// the first column of the first page, on into the next column, and on to new
// pages after the last one. Every size is in millimetres, measured from the
// paper's top-left corner.
#pragma once

#include "print/text_measure.h"

#include <QFont>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

namespace bramlotte::print {

struct FlowLine {
    QString text;
    // A heading is set bold and kept in one column with the line after it.
    bool heading = false;
};

struct FlowPage {
    QSizeF paper{210.0, 297.0};
    QMarginsF margins{10.0, 10.0, 10.0, 10.0};
    int columns = 4;
    double columnGap = 5.0;
    // How far continuation lines of a wrapped line sit to the right.
    double hangingIndentEm = 1.0;
};

// One index line in its place: a wrapped line is one block of several text
// lines. Only a line taller than a whole column is cut into several blocks,
// one per column it runs through, the later ones marked `continued`.
struct PlacedBlock {
    int line = 0;    // position of the index line in the input
    int page = 0;    // from 0
    int column = 0;  // from 0, left to right
    QRectF box;      // the column's width, one line height per text line
    QStringList textLines;
    bool bold = false;
    // Whether the first text line continues the line of the block before; a
    // text line is indented by `indent` from box.left() unless it is the
    // first line of a block that is not continued.
    bool continued = false;
    double indent = 0.0;
};

struct LayoutFlow {
    std::vector<PlacedBlock> blocks;  // in input order
    int pageCount = 0;                // 0 for no lines
    double columnWidth = 0.0;
    double lineHeight = 0.0;
};

// Lays out `lines` on pages of `page`, measured by `measure`. Throws
// PrintError when the page leaves no room: no printable area, columns
// narrower than the indent or than a character, a column lower than a line.
LayoutFlow FlowIntoColumns(const std::vector<FlowLine>& lines, const FlowPage& page,
                           const TextMeasure& measure);

// The same, measured in `font` (IndexFont() unless given) by FontMeasure.
LayoutFlow FlowIntoColumns(const std::vector<FlowLine>& lines, const FlowPage& page,
                           const QFont& font = IndexFont());

}  // namespace bramlotte::print
