// Page ranges in an entry: three or more pages that follow one another, in
// the order the entry lists them, are shown as "first-last" ("A1, A2, A3, A5"
// becomes "A1-A3, A5"). Nothing is reordered and nothing else is merged.
//
// A page is numbered when its text ends in ASCII digits that are not directly
// after a "-" or "+" (those read as signed numbers and stay plain text) and
// whose value fits in 64 bits. Two numbered pages follow one another when
// everything before the digits is equal (case-sensitive) and the second
// number is the first plus one, written the way counting on from the first
// would write it: at the first one's width when that one has leading zeros
// ("A09" → "A10", "A099" → "A100"), otherwise without leading zeros
// ("A9" → "A10", but not "A9" → "A010" nor "A09" → "A010").
//
// Square references, as a page grid's `squares` table writes them in REF,
// have a rule of their own. A square reference is ASCII digits (its page's
// number), one space, one or more capital letters A-Z (its column) and ASCII
// digits (its row), and nothing else: "12 B3". Two square references follow
// one another when the page number and the row number are written alike and
// the second's column letters come next after the first's, as the grid
// letters them ("B" → "C", "Z" → "AA", "AZ" → "BA"): squares west to east
// along a row. A run of three or more is shown as the first reference, "-",
// and the last without its page number ("12 B3, 12 C3, 12 D3" becomes
// "12 B3-D3"). Squares down a column ("12 B3, 12 B4, 12 B5") do not follow
// one another, and neither does a square reference and a page that is not
// one; the numbered pages' rule above applies only between two pages that
// are not square references ("12 b3", with a small letter, is not one).
#pragma once

#include <QString>
#include <QStringList>

namespace bramlotte::print {

// Whether `later` follows `earlier` directly, by the rules above.
bool PagesFollow(const QString& earlier, const QString& later);

// Whether `page` is a square reference ("12 B3").
bool IsSquareReference(const QString& page);

// The display items for the page values of one entry (each without the
// space the index's item texts start with): every run of three or more
// pages that follow one another becomes one "first-last" item.
QStringList PageRanges(const QStringList& pages);

// The entry text as the index writes it, with ranges: each display item after
// a space, joined by `separator` (" A1-A3, A5" for the separator ",").
QString RangedEntryText(const QStringList& pages, const QString& separator);

}  // namespace bramlotte::print
