#include "index/index_formatting.h"

#include "index/collation.h"
#include "support/base/both_at_once.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

namespace bramlotte::index {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");
// Below this many lines the sort keys are all made on the calling thread.
constexpr int kLinesForTwoThreads = 20000;
// The lines a thread makes the keys of at a time.
constexpr int kLinesPerRun = 4096;

QString tableField(const QString& value, const QString& delimiter) {
    const bool quote = (!delimiter.isEmpty() && value.contains(delimiter)) ||
                       value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\r')) ||
                       value.contains(QLatin1Char('\n'));
    if (!quote) {
        return value;
    }
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

void ResultList::add(const QStringList& lines, CollationOptions options) {
    // Sort keys once per line, not a collation per comparison; a long list's
    // on two threads, each with a collator of its own, taking runs of lines
    // in turn until none is left (neither waits long for the other).
    const QStringList all = lines_ + lines;
    const int count = all.size();
    // The keys of each run of lines one after the other in a block of their
    // own: a key is where it starts and where the next one does.
    struct Keys {
        std::vector<unsigned char> bytes;
        std::vector<size_t> starts{0};
    };
    const int runs = (count + kLinesPerRun - 1) / kLinesPerRun;
    std::vector<Keys> keysOfRun(static_cast<size_t>(runs));
    std::atomic<int> nextRun{0};
    const QString locale = collationLocaleName();
    auto makeKeys = [&] {
        const Collator collator(locale, options);
        for (int run = nextRun++; run < runs; run = nextRun++) {
            Keys& keys = keysOfRun[static_cast<size_t>(run)];
            const int first = run * kLinesPerRun;
            const int last = std::min(count, first + kLinesPerRun);
            keys.starts.reserve(static_cast<size_t>(last - first) + 1);
            for (int i = first; i < last; ++i) {
                collator.appendSortKey(all.at(i), keys.bytes);
                keys.starts.push_back(keys.bytes.size());
            }
        }
    };
    if (count < kLinesForTwoThreads) {
        makeKeys();
    } else {
        support::bothAtOnce(makeKeys, makeKeys);
    }
    // Byte by byte, a shorter key first where one begins the other.
    auto keyOf = [&](int line) {
        const Keys& keys = keysOfRun[static_cast<size_t>(line / kLinesPerRun)];
        const auto at = static_cast<size_t>(line % kLinesPerRun);
        return std::make_pair(keys.bytes.data() + keys.starts[at],
                              keys.starts[at + 1] - keys.starts[at]);
    };
    auto compareKeys = [&](int a, int b) {
        const auto [keyA, sizeA] = keyOf(a);
        const auto [keyB, sizeB] = keyOf(b);
        const int byBytes = std::memcmp(keyA, keyB, std::min(sizeA, sizeB));
        return byBytes != 0 ? byBytes : (sizeA < sizeB ? -1 : (sizeA > sizeB ? 1 : 0));
    };
    std::vector<int> order(static_cast<size_t>(all.size()));
    std::iota(order.begin(), order.end(), 0);
    const auto before = [&](int a, int b) { return compareKeys(a, b) < 0; };
    if (count < kLinesForTwoThreads) {
        std::sort(order.begin(), order.end(), before);
    } else {
        // Each half on a thread of its own, then the two merged.
        const auto middle = order.begin() + count / 2;
        support::bothAtOnce([&] { std::sort(order.begin(), middle, before); },
                            [&] { std::sort(middle, order.end(), before); });
        std::vector<int> merged(order.size());
        std::merge(order.begin(), middle, middle, order.end(), merged.begin(), before);
        order.swap(merged);
    }
    // Lines of equal keys differ at most in case, and are few: each run of
    // them is put in order by case, then code point, with a collator made
    // for the first run. Lines then equal are the same text, so the order
    // does not depend on the order lines came in (nor needs a stable sort).
    std::optional<Collator> ties;
    for (auto run = order.begin(); run != order.end();) {
        auto end = std::next(run);
        while (end != order.end() && compareKeys(*run, *end) == 0) {
            ++end;
        }
        if (end - run > 1) {
            if (!ties) {
                ties.emplace(locale, options);
            }
            std::sort(run, end,
                      [&](int a, int b) { return ties->compareTies(all.at(a), all.at(b)) < 0; });
        }
        run = end;
    }
    QStringList sorted;
    sorted.reserve(all.size());
    for (int i : order) {
        sorted.append(all.at(i));
    }
    lines_ = std::move(sorted);
    options_ = options;
}

QStringList ResultLines(const IndexMap& map, const QString& columnSeparator) {
    // The lines of keys [first, last), each made in one piece: no entry
    // text of its own.
    const auto linesOf = [&](int first, int last, QStringList& lines) {
        lines.reserve(last - first);
        for (int i = first; i < last; ++i) {
            const QString key = map.key(i);
            QString line;
            line.reserve(key.size() + columnSeparator.size() + map.entrySizeAt(i));
            line += key;
            line += columnSeparator;
            map.appendEntryAt(i, line);
            lines.append(line);
        }
    };
    const int count = map.count();
    QStringList lines;
    if (count < kLinesForTwoThreads) {
        linesOf(0, count, lines);
        return lines;
    }
    // A long index's second half on a thread of its own: the map is only
    // read, and the lines are new texts.
    QStringList secondHalf;
    support::bothAtOnce([&] { linesOf(count / 2, count, secondHalf); },
                        [&] { linesOf(0, count / 2, lines); });
    lines.reserve(count);
    lines += secondHalf;
    return lines;
}

void FillResultList(const IndexMap& map, const QString& columnSeparator, ResultList& list) {
    list.add(ResultLines(map, columnSeparator));
}

QStringList TableRows(const IndexMap& map, const QString& delimiter) {
    QStringList rows;
    rows.reserve(map.count());
    for (int i = 0; i < map.count(); ++i) {
        QString row = tableField(map.key(i), delimiter);
        for (const QString& item : map.itemsAt(i)) {
            // An item text is a space and the value.
            const QString value = item.startsWith(QLatin1Char(' ')) ? item.mid(1) : item;
            row += delimiter;
            row += tableField(value, delimiter);
        }
        rows.append(row);
    }
    return rows;
}

QStringList ColumnTexts(const ResultList& list, int columns) {
    return ColumnTexts(list.lines(), columns);
}

QStringList ColumnTexts(const QStringList& all, int columns) {
    QStringList texts;
    const int lines = all.size();
    const int perColumn = columns > 0 ? (lines + columns - 1) / columns : 0;
    for (int c = 0; c < columns; ++c) {
        QString text;
        const int first = c * perColumn;
        const int last = std::min(first + perColumn, lines);
        for (int p = first; p < last; ++p) {
            text += kLineBreak;
            text += all.at(p);
        }
        texts.append(text);
    }
    return texts;
}

std::vector<IndexLine> WithHeadings(const ResultList& list) {
    const HeadingLetters letters(collationLocaleName(), list.lines(), list.options());
    std::vector<IndexLine> lines;
    lines.reserve(static_cast<size_t>(list.count()) + 30);
    QString current;
    for (const QString& line : list.lines()) {
        const QString letter = letters.of(line);
        if (!letter.isEmpty() && letter != current &&
            (current.isEmpty() || !letters.same(letter, current))) {
            lines.push_back({letter, true});
            current = letter;
        }
        lines.push_back({line, false});
    }
    return lines;
}

}  // namespace bramlotte::index
