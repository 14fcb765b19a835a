#include "print/page_ranges.h"

#include <QStringView>

#include <algorithm>
#include <limits>
#include <vector>

namespace bramlotte::print {

namespace {

constexpr quint64 kLargest = std::numeric_limits<quint64>::max();

// The trailing whole number of a page, as written.
struct PageNumber {
    int digitsAt = -1;  // where the digits start; -1 when the page is not numbered
    quint64 value = 0;
    int width = 0;        // digits as written
    int significant = 0;  // digits without leading zeros; 1 for zero

    bool numbered() const { return digitsAt >= 0; }
    bool zeroPadded() const { return width > significant; }
};

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

PageNumber numberOf(const QString& page) {
    const int end = page.size();
    int at = end;
    while (at > 0 && isDigit(page.at(at - 1))) {
        --at;
    }
    if (at == end) {
        return {};
    }
    if (at > 0 && (page.at(at - 1) == QLatin1Char('-') || page.at(at - 1) == QLatin1Char('+'))) {
        return {};  // a signed-looking number is text, not a page count
    }
    int first = at;
    while (first < end - 1 && page.at(first) == QLatin1Char('0')) {
        ++first;
    }
    quint64 value = 0;
    for (int i = first; i < end; ++i) {
        const auto digit = static_cast<quint64>(page.at(i).unicode() - u'0');
        if (value > (kLargest - digit) / 10) {
            return {};  // beyond 64 bits: left as written
        }
        value = value * 10 + digit;
    }
    return {at, value, end - at, end - first};
}

bool isCapital(QChar c) {
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

// Where the parts of a square reference start.
struct SquareParts {
    int columnAt = -1;  // the column letters; -1 when the page is no square reference
    int rowAt = -1;     // the row number

    bool square() const { return columnAt >= 0; }
};

SquareParts squarePartsOf(const QString& page) {
    const int end = page.size();
    int at = 0;
    while (at < end && isDigit(page.at(at))) {
        ++at;
    }
    if (at == 0 || at == end || page.at(at) != QLatin1Char(' ')) {
        return {};
    }
    const int columnAt = ++at;
    while (at < end && isCapital(page.at(at))) {
        ++at;
    }
    const int rowAt = at;
    while (at < end && isDigit(page.at(at))) {
        ++at;
    }
    if (rowAt == columnAt || rowAt == end || at != end) {
        return {};
    }
    return {columnAt, rowAt};
}

// The column letters after `letters`: "B" → "C", "AZ" → "BA", "ZZ" → "AAA".
QString nextLetters(QStringView letters) {
    QString next = letters.toString();
    for (int i = next.size() - 1; i >= 0; --i) {
        if (next.at(i) != QLatin1Char('Z')) {
            next[i] = QChar(next.at(i).unicode() + 1);
            return next;
        }
        next[i] = QLatin1Char('A');
    }
    return QLatin1Char('A') + next;
}

bool squaresFollow(const QString& earlier, const SquareParts& a, const QString& later,
                   const SquareParts& b) {
    const QStringView first(earlier);
    const QStringView second(later);
    return first.left(a.columnAt) == second.left(b.columnAt) &&
           first.mid(a.rowAt) == second.mid(b.rowAt) &&
           nextLetters(first.mid(a.columnAt, a.rowAt - a.columnAt)) ==
               second.mid(b.columnAt, b.rowAt - b.columnAt);
}

// A page read for both rules.
struct PageForm {
    PageNumber number;
    SquareParts square;
};

PageForm formOf(const QString& page) {
    const SquareParts square = squarePartsOf(page);
    return {square.square() ? PageNumber{} : numberOf(page), square};
}

bool numberedFollow(const QString& earlier, const PageNumber& a, const QString& later,
                    const PageNumber& b) {
    if (!a.numbered() || !b.numbered() || a.value == kLargest || b.value != a.value + 1) {
        return false;
    }
    // Counting on from a zero-padded number keeps its width.
    const int width = a.zeroPadded() ? std::max(a.width, b.significant) : b.significant;
    return b.width == width &&
           QStringView(earlier).left(a.digitsAt) == QStringView(later).left(b.digitsAt);
}

bool follows(const QString& earlier, const PageForm& a, const QString& later, const PageForm& b) {
    if (a.square.square() || b.square.square()) {
        return a.square.square() && b.square.square() &&
               squaresFollow(earlier, a.square, later, b.square);
    }
    return numberedFollow(earlier, a.number, later, b.number);
}

}  // namespace

bool PagesFollow(const QString& earlier, const QString& later) {
    return follows(earlier, formOf(earlier), later, formOf(later));
}

bool IsSquareReference(const QString& page) {
    return squarePartsOf(page).square();
}

QStringList PageRanges(const QStringList& pages) {
    std::vector<PageForm> forms;
    forms.reserve(static_cast<size_t>(pages.size()));
    for (const QString& page : pages) {
        forms.push_back(formOf(page));
    }
    const auto followsAt = [&](int i) {
        return follows(pages.at(i), forms[static_cast<size_t>(i)], pages.at(i + 1),
                       forms[static_cast<size_t>(i) + 1]);
    };

    QStringList items;
    for (int first = 0; first < pages.size();) {
        int last = first;
        while (last + 1 < pages.size() && followsAt(last)) {
            ++last;
        }
        if (last - first >= 2) {
            // A run of squares ends on its last square without the page number.
            const int lastFrom = std::max(forms[static_cast<size_t>(last)].square.columnAt, 0);
            items.append(pages.at(first) + QLatin1Char('-') + pages.at(last).mid(lastFrom));
        } else {
            for (int i = first; i <= last; ++i) {
                items.append(pages.at(i));
            }
        }
        first = last + 1;
    }
    return items;
}

QString RangedEntryText(const QStringList& pages, const QString& separator) {
    QString text;
    bool firstItem = true;
    for (const QString& item : PageRanges(pages)) {
        if (!firstItem) {
            text += separator;
        }
        firstItem = false;
        text += QLatin1Char(' ');
        text += item;
    }
    return text;
}

}  // namespace bramlotte::print
