// Breaking one index line into the text lines of a column.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace bramlotte::print {

// The lines of `text` set no wider than `firstWidth` (the first line) and
// `nextWidth` (every later line, which the caller indents). Lines break at
// spaces, and the spaces at a break are dropped; a word wider than a line is
// broken between characters (whole grapheme clusters), without a hyphen.
// There is always at least one line. Throws PrintError when not even one
// character fits a line.
QStringList WrapText(const QString& text, double firstWidth, double nextWidth,
                     const std::function<double(const QString&)>& width);

}  // namespace bramlotte::print
