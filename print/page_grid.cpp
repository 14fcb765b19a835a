#include "print/page_grid.h"

#include "print/print_error.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace bramlotte::print {

namespace {

void require(bool ok, const QString& message) {
    if (!ok) {
        throw PrintError(message);
    }
}

bool positive(double value) {
    return std::isfinite(value) && value > 0.0;
}

void checkOverlap(double overlap, double width, double height) {
    require(std::isfinite(overlap) && overlap >= 0.0,
            QStringLiteral("The overlap of neighbouring pages must not be negative."));
    require(overlap < std::min(width, height),
            QStringLiteral("The overlap of neighbouring pages must be smaller than a page."));
}

// Pages along one axis: page k spans from near(k) to far(k), stepping away
// from `origin` in `direction` (+1 east, -1 south).
struct Axis {
    double origin;
    double size;
    double step;
    int direction;

    double near(long long k) const { return origin + direction * (k * step); }
    double far(long long k) const {
        // Without overlap a page ends exactly where the next one begins.
        return size == step ? near(k + 1) : near(k) + direction * size;
    }
    bool reaches(long long k, double edge) const {
        return direction > 0 ? far(k) >= edge : far(k) <= edge;
    }
};

// About how many pages reach from the origin to `span` away; not more than
// one past `limit`, so the count stays safe to hold and loop over.
long long roughCount(double span, const Axis& axis, long long limit) {
    const double count = 1.0 + std::max(0.0, std::ceil((span - axis.size) / axis.step));
    return count > static_cast<double>(limit) ? limit + 1 : static_cast<long long>(count);
}

// The fewest pages whose last one reaches `edge`, as the cells compute
// their edges, so rounding never leaves a sliver uncovered.
long long exactCount(long long rough, const Axis& axis, double edge, long long limit) {
    long long count = rough;
    while (count > 1 && axis.reaches(count - 2, edge)) {
        --count;
    }
    // Bounded, for a step too small beside the coordinates to move them.
    while (count <= limit && !axis.reaches(count - 1, edge)) {
        ++count;
    }
    return count;
}

}  // namespace

QSizeF PaperSize(Paper paper, Orientation orientation) {
    QSizeF size;
    switch (paper) {
        case Paper::A4:
            size = QSizeF(210.0, 297.0);
            break;
        case Paper::A3:
            size = QSizeF(297.0, 420.0);
            break;
        case Paper::Letter:
            size = QSizeF(215.9, 279.4);
            break;
    }
    return orientation == Orientation::Landscape ? size.transposed() : size;
}

PageFootprint SquarePages(double size, double overlap) {
    require(positive(size), QStringLiteral("The page size must be greater than zero."));
    checkOverlap(overlap, size, size);
    return {size, size, overlap};
}

PageFootprint PaperPages(Paper paper, Orientation orientation, double scale, double overlapMm) {
    require(positive(scale), QStringLiteral("The scale must be greater than zero."));
    const QSizeF sheet = PaperSize(paper, orientation);
    checkOverlap(overlapMm, sheet.width(), sheet.height());
    const double metresPerMm = scale / 1000.0;
    return {sheet.width() * metresPerMm, sheet.height() * metresPerMm, overlapMm * metresPerMm};
}

QString RowLetters(long long row) {
    QString letters;
    for (; row > 0; row = (row - 1) / 26) {
        letters.prepend(QChar(u'A' + static_cast<char16_t>((row - 1) % 26)));
    }
    return letters;
}

std::vector<GridCell> PageGrid(const MapRect& extent, const PageFootprint& footprint,
                               const KeepPage& keep, long long maxPages) {
    require(positive(footprint.width) && positive(footprint.height),
            QStringLiteral("The page size must be greater than zero."));
    checkOverlap(footprint.overlap, footprint.width, footprint.height);
    const double width = extent.xMax - extent.xMin;
    const double height = extent.yMax - extent.yMin;
    require(std::isfinite(extent.xMin) && std::isfinite(extent.yMin) &&
                std::isfinite(extent.xMax) && std::isfinite(extent.yMax) && width >= 0.0 &&
                height >= 0.0,
            QStringLiteral("The layer has no extent: it holds no feature with a shape."));
    require(width > 0.0 && height > 0.0,
            QStringLiteral("The layer's extent has no area, so no page grid can cover it."));

    const Axis across{extent.xMin, footprint.width, footprint.width - footprint.overlap, +1};
    const Axis down{extent.yMax, footprint.height, footprint.height - footprint.overlap, -1};
    // Counted before any page is made, so a grid too large fails at once.
    maxPages = std::min<long long>(maxPages, std::numeric_limits<int>::max());
    const QString tooMany =
        QStringLiteral("The page grid would need more than %1 pages: choose larger pages.")
            .arg(maxPages);
    const long long roughColumns = roughCount(width, across, maxPages);
    const long long roughRows = roughCount(height, down, maxPages);
    require(static_cast<double>(roughColumns) * static_cast<double>(roughRows) <=
                static_cast<double>(maxPages),
            tooMany);
    const long long columns = exactCount(roughColumns, across, extent.xMax, maxPages);
    const long long rows = exactCount(roughRows, down, extent.yMin, maxPages);
    require(columns * rows <= maxPages, tooMany);

    std::vector<GridCell> cells;
    // Where in `cells` the pages of the row above and of this row are, by
    // column; -1 for a page left out.
    std::vector<int> above(static_cast<size_t>(columns), -1);
    std::vector<int> here(static_cast<size_t>(columns), -1);
    int pageNo = 0;
    for (long long r = 0; r < rows; ++r) {
        const QString row = RowLetters(r + 1);
        std::fill(here.begin(), here.end(), -1);
        for (long long c = 0; c < columns; ++c) {
            const MapRect rect{across.near(c), down.far(r), across.far(c), down.near(r)};
            if (keep && !keep(rect)) {
                continue;
            }
            const int column = static_cast<int>(c + 1);
            const int at = static_cast<int>(cells.size());
            cells.push_back({rect, row + QString::number(column), row, column, ++pageNo, {}});
            GridCell& cell = cells.back();
            if (const int west = c > 0 ? here[static_cast<size_t>(c - 1)] : -1; west >= 0) {
                cell.neighbours.west = cells[static_cast<size_t>(west)].pageNo;
                cells[static_cast<size_t>(west)].neighbours.east = cell.pageNo;
            }
            if (const int north = above[static_cast<size_t>(c)]; north >= 0) {
                cell.neighbours.north = cells[static_cast<size_t>(north)].pageNo;
                cells[static_cast<size_t>(north)].neighbours.south = cell.pageNo;
            }
            here[static_cast<size_t>(c)] = at;
        }
        std::swap(above, here);
    }
    return cells;
}

}  // namespace bramlotte::print
