#include "processing/grid_pages.h"

#include <qgsexception.h>
#include <qgsfeedback.h>

namespace bramlotte::processing {
namespace {

QgsRectangle rectangle(const print::MapRect& r) {
    return QgsRectangle(r.xMin, r.yMin, r.xMax, r.yMax);
}

}  // namespace

std::vector<print::GridCell> GridPagesOver(QgsVectorLayer& layer,
                                           const print::PageFootprint& footprint,
                                           bool onlyWhereData, QgsFeedback* feedback) {
    const QgsRectangle extent = qgishost::featureExtent(layer);
    print::KeepPage keep;
    if (onlyWhereData) {
        keep = [&layer, feedback](const print::MapRect& r) {
            if (feedback && feedback->isCanceled()) {
                throw QgsProcessingException(QStringLiteral("Cancelled: no page grid was made."));
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

}  // namespace bramlotte::processing
