#include "print/line_wrap.h"

#include "print/print_error.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace bramlotte::print {

namespace {

bool isSpace(QChar c) {
    return c == QLatin1Char(' ');
}

// The longest start of text[from, to) that breaks between grapheme clusters
// and fits `room`; 0 when not even the first character fits. Galloping, then
// halving, keeps a long word at O(length log length) measured characters.
int fittingPrefix(const QString& text, int from, int to, double room,
                  const std::function<double(const QString&)>& width) {
    std::vector<int> ends;  // cluster ends, relative to `from`
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text.constData() + from, to - from);
    while (clusters.toNextBoundary() > 0) {
        ends.push_back(clusters.position());
    }
    const auto fits = [&](size_t i) { return width(text.mid(from, ends[i])) <= room; };
    if (ends.empty() || !fits(0)) {
        return 0;
    }
    size_t good = 0;  // fits
    size_t bad = 1;   // first index not known to fit
    while (bad < ends.size() && fits(bad)) {
        good = bad;
        bad = std::min(ends.size(), 2 * bad + 1);
    }
    bad = std::min(bad, ends.size());
    while (bad - good > 1) {
        const size_t middle = good + (bad - good) / 2;
        (fits(middle) ? good : bad) = middle;
    }
    return ends[good];
}

}  // namespace

QStringList WrapText(const QString& text, double firstWidth, double nextWidth,
                     const std::function<double(const QString&)>& width) {
    QStringList lines;
    const int end = text.size();
    int start = 0;
    do {
        const double room = lines.isEmpty() ? firstWidth : nextWidth;
        // Take words while the line with the next word still fits.
        int fitEnd = start;
        int firstWordEnd = end;
        for (int at = start; at < end;) {
            int next = at;
            while (next < end && isSpace(text.at(next))) {
                ++next;
            }
            if (next == end && at > start) {
                break;  // only spaces left: they end the text, not the line
            }
            while (next < end && !isSpace(text.at(next))) {
                ++next;
            }
            if (at == start) {
                firstWordEnd = next;
            }
            if (width(text.mid(start, next - start)) > room) {
                break;
            }
            fitEnd = at = next;
        }
        if (fitEnd == start && start < end) {
            fitEnd = start + fittingPrefix(text, start, firstWordEnd, room, width);
            if (fitEnd == start) {
                throw PrintError(QStringLiteral("The index columns are too narrow for its font."));
            }
        }
        lines.append(text.mid(start, fitEnd - start));
        // A break at spaces drops them; a word broken between characters
        // goes on at the start of the next line.
        start = fitEnd;
        while (start < end && isSpace(text.at(start))) {
            ++start;
        }
    } while (start < end);
    return lines;
}

}  // namespace bramlotte::print
