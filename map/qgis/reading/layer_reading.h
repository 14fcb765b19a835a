// Reads every feature of a vector layer into the rows a feature store holds.
#pragma once

#include "map/qgis/reading/postgis_read.h"
#include "map/store/store_rows.h"

#include <qgsattributes.h>
#include <qgsfields.h>

#include <optional>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::qgishost {

using store::StoreRows;

// For each field, whether the store keeps its values as whole numbers.
std::vector<bool> integerColumns(const QgsFields& fields);

// For each field of `layer`'s data source, its index in the layer's fields
// (-1 where the layer does not show it).
QgsAttributeList ownFieldIndexes(const QgsVectorLayer& layer);

// Every feature of `layer`, with the data source's own fields, in ascending
// id order: by readPostGis or readDirectly where it can, else by readHalves,
// else in one read through QGIS's iterator. The values of fields not `wanted` may be
// left unread; the ids are QGIS's unless `ids` takes a key's values.
// Tables of at least this many features are read in two halves side by side.
constexpr size_t kTwoHalvesFrom = 10000;
StoreRows readRows(QgsVectorLayer& layer, size_t splitFrom = kTwoHalvesFrom,
                   const store::WantedFields& wanted = {}, RowIds ids = RowIds::Qgis);

// Every feature of `layer` as readRows gives it, read in one pass through
// QGIS's feature iterator, whatever the source.
StoreRows readThroughIterator(QgsVectorLayer& layer);

// The rows of a layer that QGIS would deliver unchanged from a GeoPackage
// table, read from its SQLite file (see direct_read.h); a table of at least
// `splitFrom` ids is read in two halves on two threads. nullopt when the
// layer must be read through QGIS.
std::optional<StoreRows> readDirectly(QgsVectorLayer& layer, size_t splitFrom,
                                      const store::WantedFields& wanted = {});

// The rows of a PostGIS layer that QGIS would deliver as its relation holds
// them, read over libpq in binary (see postgis_read.h); a table of about
// `splitFrom` rows or more is read in two halves on two connections. nullopt
// when the layer must be read through QGIS.
std::optional<StoreRows> readPostGis(QgsVectorLayer& layer, size_t splitFrom,
                                     const store::WantedFields& wanted = {},
                                     RowIds ids = RowIds::Qgis);

// The rows of a GeoPackage table of at least `splitFrom` features read as
// two halves by id, on two threads at once; nullopt when the layer is not
// such a table as saved (being edited, or in a transaction) or a half cannot
// be handed whole to the data source (each would then read every feature).
std::optional<StoreRows> readHalves(QgsVectorLayer& layer, size_t splitFrom);

}  // namespace bramlotte::qgishost
