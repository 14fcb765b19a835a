// The page grid's side on QGIS: the extent of a layer's features, whether a
// page meets any of them, and the grid written as a GeoPackage layer that
// serves at once as Layer #1 and as an atlas's coverage layer.
#pragma once

#include <qgsrectangle.h>
#include <qgsvectorlayer.h>

#include <QString>

#include <vector>

namespace bramlotte::qgishost {

// One page of the grid, in the layer's coordinates.
struct GridPage {
    QgsRectangle rect;
    QString page;  // PAGE, "C12"
    QString row;   // ROW, "C"
    int column = 0;
    int pageNo = 0;
};

// The box around the shapes of every feature of `layer`, made from the
// features themselves (a layer's stored extent may fall short of them).
// Throws support::Failure when the layer cannot be read or has no shapes.
QgsRectangle featureExtent(QgsVectorLayer& layer);

// Whether any feature of `layer` shares a point with `rect`.
bool meetsFeatures(QgsVectorLayer& layer, const QgsRectangle& rect);

// The fields of a page grid: PAGE, ROW, COL and PAGE_NO.
QgsFields pageGridFields();

// Writes `pages` as the table "pages" of a new GeoPackage at `path`, in
// `crs`, with the fields PAGE, ROW, COL and PAGE_NO: to a file beside it
// first, put in place only once it is whole. Throws support::Failure.
void writePageGrid(const std::vector<GridPage>& pages, const QgsCoordinateReferenceSystem& crs,
                   const QString& path);

}  // namespace bramlotte::qgishost
