#include "atlas/grid_pages.h"

#include <qgsvectorlayer.h>

namespace bramlotte::atlas {
namespace {

QgsRectangle rectangle(const print::MapRect& r) {
    return QgsRectangle(r.xMin, r.yMin, r.xMax, r.yMax);
}

}  // namespace

std::vector<print::GridCell> GridPagesOver(QgsVectorLayer& layer,
                                           const print::PageFootprint& footprint,
                                           bool onlyWhereData,
                                           const std::function<void()>& checkCancelled) {
    const QgsRectangle extent = qgishost::featureExtent(layer);
    print::KeepPage keep;
    if (onlyWhereData) {
        keep = [&layer, checkCancelled](const print::MapRect& r) {
            if (checkCancelled) {
                checkCancelled();
            }
            return qgishost::meetsFeatures(layer, rectangle(r));
        };
    }
    return print::PageGrid(
        {extent.xMinimum(), extent.yMinimum(), extent.xMaximum(), extent.yMaximum()}, footprint,
        keep);
}

qgishost::GridPage GridPageOf(const print::GridCell& c) {
    const print::Neighbours& n = c.neighbours;
    return {rectangle(c.rect), c.page, c.row, c.column, c.pageNo, n.north, n.east, n.south, n.west};
}

qgishost::GridSquare GridSquareOf(const print::GridSquare& s) {
    return {rectangle(s.rect), s.page, s.pageNo, s.square, s.ref};
}

GridWritten WriteGridOver(QgsVectorLayer& layer, const print::PageFootprint& footprint,
                          bool onlyWhereData, const std::optional<print::SquareDivision>& division,
                          const QString& path) {
    const std::vector<print::GridCell> cells = GridPagesOver(layer, footprint, onlyWhereData);
    std::vector<qgishost::GridPage> pages;
    pages.reserve(cells.size());
    for (const print::GridCell& c : cells) {
        pages.push_back(GridPageOf(c));
    }
    std::vector<qgishost::GridSquare> squares;
    if (division) {
        for (const print::GridSquare& s : print::GridSquares(cells, *division)) {
            squares.push_back(GridSquareOf(s));
        }
    }
    qgishost::writePageGrid(pages, layer.crs(), path, division ? &squares : nullptr);
    return {pages.size(), squares.size()};
}

}  // namespace bramlotte::atlas
