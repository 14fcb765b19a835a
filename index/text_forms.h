// How host values read as text in the index.
#pragma once

#include <QString>
#include <QVariant>

namespace bramlotte::index {

// Whole numbers in decimal; reals in plain decimal notation with the user's
// locale's decimal mark; dates and times as that locale writes them; text as
// it is. The locale is the default QLocale: the system's, unless the program
// has set another.
QString textForm(const QVariant& value);

// Null, or empty once leading and trailing spaces are trimmed (tabs stay).
bool isBlank(const QVariant& value);
// The text form of a value that is not blank; a null string for one that is.
QString nonBlankTextForm(const QVariant& value);

// `text` without leading and trailing spaces; other white space stays.
QString trimSpaces(const QString& text);

}  // namespace bramlotte::index
