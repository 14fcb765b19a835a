// The page grid of `bramlotte grid` over the features of a layer, for the
// Processing algorithm "Make page grid".
#pragma once

#include "map/qgis/program/page_grid_layer.h"
#include "print/page_grid.h"
#include "print/page_squares.h"

#include <vector>

class QgsFeedback;
class QgsVectorLayer;

namespace bramlotte::processing {

// The pages over the extent of `layer`'s features, each of `footprint`'s
// size, row by row from the north-west; with `onlyWhereData` only those that
// share a point with a feature. Throws print::PrintError for a grid that
// cannot be made, support::Failure when the layer cannot be read or has no
// shapes, and QgsProcessingException once `feedback` is cancelled.
std::vector<print::GridCell> GridPagesOver(QgsVectorLayer& layer,
                                           const print::PageFootprint& footprint,
                                           bool onlyWhereData, QgsFeedback* feedback = nullptr);

// A page and a square in the layer's terms, as the sinks take them.
qgishost::GridPage GridPageOf(const print::GridCell& cell);
qgishost::GridSquare GridSquareOf(const print::GridSquare& square);

}  // namespace bramlotte::processing
