#include "print/page_squares.h"

#include "print/print_error.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace bramlotte::print {

namespace {

// The number written in ASCII digits from `from` to `to`, or -1 when there
// are none, others, or it is larger than kMaxSquaresAcross.
int countIn(const QString& text, int from, int to) {
    if (from >= to) {
        return -1;
    }
    int value = 0;
    for (int i = from; i < to; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return -1;
        }
        value = value * 10 + (c.unicode() - u'0');
        if (value > kMaxSquaresAcross) {
            return -1;
        }
    }
    return value;
}

// Edge `k` of `count` parts between `low` and `high`; the last is `high`
// itself, so the parts end exactly where the page does.
double edge(double low, double high, int k, int count) {
    return k == count ? high : low + (high - low) * k / count;
}

}  // namespace

SquareDivision ParseSquareDivision(const QString& text) {
    const int x = std::max(text.indexOf(QLatin1Char('x')), text.indexOf(QLatin1Char('X')));
    const int columns = x < 0 ? -1 : countIn(text, 0, x);
    const int rows = x < 0 ? -1 : countIn(text, x + 1, text.size());
    if (columns < 1 || rows < 1) {
        throw PrintError(QStringLiteral("Squares are given as CxR, columns x rows, each a whole "
                                        "number from 1 to %1 (such as 4x5), not \"%2\".")
                             .arg(kMaxSquaresAcross)
                             .arg(text));
    }
    return {columns, rows};
}

QString SquareName(int column, int row) {
    return RowLetters(column) + QString::number(row);
}

std::vector<GridSquare> PageSquares(const GridCell& page, const SquareDivision& division) {
    std::vector<GridSquare> squares;
    if (division.columns < 1 || division.rows < 1) {
        return squares;
    }
    squares.reserve(static_cast<size_t>(division.columns) * static_cast<size_t>(division.rows));
    const MapRect& p = page.rect;
    const QString number = QString::number(page.pageNo);
    for (int r = 0; r < division.rows; ++r) {
        // Rows count from the north: row r lies below edge r from the top.
        const double north = edge(p.yMax, p.yMin, r, division.rows);
        const double south = edge(p.yMax, p.yMin, r + 1, division.rows);
        for (int c = 0; c < division.columns; ++c) {
            const double west = edge(p.xMin, p.xMax, c, division.columns);
            const double east = edge(p.xMin, p.xMax, c + 1, division.columns);
            const QString name = SquareName(c + 1, r + 1);
            squares.push_back({{west, south, east, north},
                               page.page,
                               page.pageNo,
                               name,
                               number + QLatin1Char(' ') + name});
        }
    }
    return squares;
}

std::vector<GridSquare> GridSquares(const std::vector<GridCell>& pages,
                                    const SquareDivision& division, long long maxSquares) {
    if (division.columns < 1 || division.rows < 1) {
        throw PrintError(
            QStringLiteral("A page needs at least one column and one row of squares."));
    }
    const double perPage = static_cast<double>(division.columns) * division.rows;
    if (perPage * static_cast<double>(pages.size()) > static_cast<double>(maxSquares)) {
        throw PrintError(QStringLiteral("The pages would have more than %1 squares: choose fewer "
                                        "squares or larger pages.")
                             .arg(maxSquares));
    }
    std::vector<size_t> order(pages.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return pages[a].pageNo < pages[b].pageNo; });
    std::vector<GridSquare> squares;
    squares.reserve(static_cast<size_t>(perPage) * pages.size());
    for (const size_t i : order) {
        std::vector<GridSquare> ofPage = PageSquares(pages[i], division);
        std::move(ofPage.begin(), ofPage.end(), std::back_inserter(squares));
    }
    return squares;
}

}  // namespace bramlotte::print
