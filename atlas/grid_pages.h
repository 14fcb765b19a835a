// The page grid over the features of a layer, as `bramlotte grid`, the
// Processing algorithm "Make page grid" and the street atlas make it.
#pragma once

#include "map/qgis/program/page_grid_layer.h"
#include "print/page_grid.h"
#include "print/page_squares.h"

#include <functional>
#include <optional>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::atlas {

// The pages over the extent of `layer`'s features, each of `footprint`'s
// size, row by row from the north-west; with `onlyWhereData` only those that
// share a point with a feature (`checkCancelled`, when given, is called
// before each such test and throws to stop). Throws print::PrintError for a
// grid that cannot be made, support::Failure when the layer cannot be read
// or has no shapes.
std::vector<print::GridCell> GridPagesOver(QgsVectorLayer& layer,
                                           const print::PageFootprint& footprint,
                                           bool onlyWhereData,
                                           const std::function<void()>& checkCancelled = {});

// A page and a square in the layer's terms, as the sinks take them.
qgishost::GridPage GridPageOf(const print::GridCell& cell);
qgishost::GridSquare GridSquareOf(const print::GridSquare& square);

struct GridWritten {
    size_t pages = 0;
    size_t squares = 0;
};

// The grid over `layer` written as the GeoPackage `path` (its `pages` table,
// and `squares` with a division), in the layer's coordinate system, complete
// or absent. Throws as GridPagesOver and writePageGrid do.
GridWritten WriteGridOver(QgsVectorLayer& layer, const print::PageFootprint& footprint,
                          bool onlyWhereData, const std::optional<print::SquareDivision>& squares,
                          const QString& path);

}  // namespace bramlotte::atlas
