// How much room text takes on the paper, in millimetres: the width of a piece
// of text, regular or bold, and the height of one line. The flow takes it as
// a value so tests can give exact widths; FontMeasure gives the real ones.
#pragma once

#include <QFont>
#include <QString>

#include <functional>

namespace bramlotte::print {

struct TextMeasure {
    // The advance width of `text` set in the regular or the bold face.
    std::function<double(const QString& text, bool bold)> width;
    // Baseline to baseline; regular and bold lines share it, so the lines of
    // every column sit on one grid.
    double lineHeight = 0.0;
    // The font's size, the unit of the hanging indent.
    double em = 0.0;
};

// The index font: the application's font at `pointSize` points.
QFont IndexFont(double pointSize = 6.0);

// Measures `font` (which must have a size in points) and its bold face with
// QFontMetricsF at a printer's resolution.
TextMeasure FontMeasure(const QFont& font);

}  // namespace bramlotte::print
