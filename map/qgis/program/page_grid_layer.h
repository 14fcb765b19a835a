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
    // NORTH, EAST, SOUTH, WEST: the neighbouring pages' PAGE_NO; 0 for none.
    int north = 0;
    int east = 0;
    int south = 0;
    int west = 0;
};

// One square of a page.
struct GridSquare {
    QgsRectangle rect;
    QString page;  // PAGE of its page, "C12"
    int pageNo = 0;
    QString square;  // SQUARE, "B3"
    QString ref;     // REF, "12 B3"
};

// The box around the shapes of every feature of `layer`, made from the
// features themselves (a layer's stored extent may fall short of them).
// Throws support::Failure when the layer cannot be read or has no shapes.
QgsRectangle featureExtent(QgsVectorLayer& layer);

// Whether any feature of `layer` shares a point with `rect`.
bool meetsFeatures(QgsVectorLayer& layer, const QgsRectangle& rect);

// The fields of a page grid: PAGE, ROW, COL, PAGE_NO, then NORTH, EAST, SOUTH
// and WEST (NULL where there is no neighbour).
QgsFields pageGridFields();
// The fields of the squares: PAGE, PAGE_NO, SQUARE and REF.
QgsFields gridSquareFields();

// `page` and `square` as features of those fields, shape and values.
QgsFeature pageFeature(const GridPage& page, const QgsFields& fields);
QgsFeature squareFeature(const GridSquare& square, const QgsFields& fields);

// Writes `pages` as the table "pages" of a new GeoPackage at `path`, in
// `crs`, and when `squares` is given, those as its table "squares": to a file
// beside it first, put in place only once it is whole. Throws
// support::Failure.
void writePageGrid(const std::vector<GridPage>& pages, const QgsCoordinateReferenceSystem& crs,
                   const QString& path, const std::vector<GridSquare>* squares = nullptr);

}  // namespace bramlotte::qgishost
