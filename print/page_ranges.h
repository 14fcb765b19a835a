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
#pragma once

#include <QString>
#include <QStringList>

namespace bramlotte::print {

// Whether `later` follows `earlier` directly, by the rule above.
bool PagesFollow(const QString& earlier, const QString& later);

// The display items for the page values of one entry (each without the
// space the index's item texts start with): every run of three or more
// pages that follow one another becomes one "first-last" item.
QStringList PageRanges(const QStringList& pages);

// The entry text as the index writes it, with ranges: each display item after
// a space, joined by `separator` (" A1-A3, A5" for the separator ",").
QString RangedEntryText(const QStringList& pages, const QString& separator);

}  // namespace bramlotte::print
