// Field values written into a shapefile's attribute table (its .dbf) as a
// whole new table: a copy of the table beside it takes the values through
// QGIS's own provider, is read back, put on disk and renamed over the old
// table. An interruption at any moment leaves every feature with its old
// values or every feature with its new ones. The .shp and .shx, which a
// field write does not change, are not touched, and neither is a spatial
// index beside them.
#pragma once

#include <qgsfeature.h>
#include <qgsvectordataprovider.h>

#include <QString>

namespace bramlotte::qgishost {

// The attribute table behind a layer of the "ogr" provider reading a
// shapefile (or a lone .dbf), or an empty string for any other source.
QString shapefileTableOf(const QString& providerName, const QString& storageType,
                         const QString& dataSourceUri);

// Writes `changes` (values by feature id and source field index) into the
// table `dbf`, read through `provider` (whose encoding and open options the
// copy is read with). Returns false with `error` set, the table unchanged,
// on any failure.
bool updateShapefileTable(const QString& dbf, const QgsVectorDataProvider& provider,
                          const QgsChangedAttributesMap& changes, QString& error);

}  // namespace bramlotte::qgishost
