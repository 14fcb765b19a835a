#include "processing/grid_pages.h"

#include "map/qgis/page_grid_layer.h"

#include <qgsexception.h>
#include <qgsfeedback.h>

namespace bramlotte::processing {

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
            return qgishost::meetsFeatures(layer, QgsRectangle(r.xMin, r.yMin, r.xMax, r.yMax));
        };
    }
    return print::PageGrid(
        {extent.xMinimum(), extent.yMinimum(), extent.xMaximum(), extent.yMaximum()}, footprint,
        keep);
}

}  // namespace bramlotte::processing
