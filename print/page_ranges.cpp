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

bool follows(const QString& earlier, const PageNumber& a, const QString& later,
             const PageNumber& b) {
    if (!a.numbered() || !b.numbered() || a.value == kLargest || b.value != a.value + 1) {
        return false;
    }
    // Counting on from a zero-padded number keeps its width.
    const int width = a.zeroPadded() ? std::max(a.width, b.significant) : b.significant;
    return b.width == width &&
           QStringView(earlier).left(a.digitsAt) == QStringView(later).left(b.digitsAt);
}

}  // namespace

bool PagesFollow(const QString& earlier, const QString& later) {
    return follows(earlier, numberOf(earlier), later, numberOf(later));
}

QStringList PageRanges(const QStringList& pages) {
    std::vector<PageNumber> numbers;
    numbers.reserve(static_cast<size_t>(pages.size()));
    for (const QString& page : pages) {
        numbers.push_back(numberOf(page));
    }
    const auto followsAt = [&](int i) {
        return follows(pages.at(i), numbers[static_cast<size_t>(i)], pages.at(i + 1),
                       numbers[static_cast<size_t>(i) + 1]);
    };

    QStringList items;
    for (int first = 0; first < pages.size();) {
        int last = first;
        while (last + 1 < pages.size() && followsAt(last)) {
            ++last;
        }
        if (last - first >= 2) {
            items.append(pages.at(first) + QLatin1Char('-') + pages.at(last));
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
