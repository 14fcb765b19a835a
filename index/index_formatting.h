// The shapes in which the outputs receive the index: result lines in the
// sorted result list, table rows, and the column texts of the layout.
#pragma once

#include "index/collation.h"
#include "index/index_map.h"

#include <QStringList>

#include <vector>

namespace bramlotte::index {

// The result list: lines in ascending order by the user's case-insensitive
// collation (see collation.h); lines that compare equal there (they differ
// at most in case) by case, then by code point. The order is the same
// whatever order the lines were added in.
class ResultList {
  public:
    void clear() { lines_.clear(); }
    // Adds `lines` and sorts all lines once, by `options`.
    void add(const QStringList& lines, CollationOptions options = {});
    int count() const { return lines_.size(); }
    const QString& line(int position) const { return lines_.at(position); }
    const QStringList& lines() const { return lines_; }
    // The options of the last sort.
    CollationOptions options() const { return options_; }

  private:
    QStringList lines_;
    CollationOptions options_;
};

// Key + column separator + entry text, for every key in index-map order.
QStringList ResultLines(const IndexMap& map, const QString& columnSeparator);

// Empties nothing: adds the result line of every key to `list`.
void FillResultList(const IndexMap& map, const QString& columnSeparator, ResultList& list);

// One row per key in index-map order: the key and the key's items (each
// without the space its item text starts with), joined by `delimiter`. A
// field holding the delimiter, a double quote, CR or LF is quoted.
QStringList TableRows(const IndexMap& map, const QString& delimiter);

// The text of each of `columns` layout columns: CR LF before every line.
QStringList ColumnTexts(const ResultList& list, int columns);
QStringList ColumnTexts(const QStringList& lines, int columns);

// A line of an index set for reading: an index line, or a heading.
struct IndexLine {
    QString text;
    bool heading = false;
};

// The result list's lines with a heading line before the first line of
// each letter, by the collation of the list's own order and options
// (HeadingLetters): each heading once, in the order of the lines.
std::vector<IndexLine> WithHeadings(const ResultList& list);

}  // namespace bramlotte::index
