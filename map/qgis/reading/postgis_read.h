// PostGIS layers that QGIS's PostgreSQL provider would deliver as their
// table holds them are read over libpq in binary (see postgis_rows.h),
// without a QgsFeature per row. What the provider numbers or converts its
// own way (keys other than one int4 or int8 column, query layers, an edit
// buffer, joins) stays on QGIS's path.
#pragma once

#include "map/store/postgis_rows.h"

#include <qgsfeatureid.h>

#include <optional>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::qgishost {

// The ids a read gives its rows.
enum class RowIds {
    Qgis,      // QGIS's own feature ids: values are written, or features chosen, by them
    KeyValues  // an int8 key's own values will do where QGIS numbers the rows otherwise
};

// The query that reads `layer`'s rows (the data source's own fields, in
// their order, the values of the `wanted` ones) straight from its PostGIS
// relation, or nullopt when the layer must be read through QGIS. What only
// the server knows (the columns' types, the kind of shapes) the read checks.
std::optional<store::PostGisQuery> postGisQueryOf(QgsVectorLayer& layer,
                                                  const store::WantedFields& wanted = {},
                                                  RowIds ids = RowIds::Qgis);

// QGIS's ids for the rows of an int8-keyed `layer` that `keys` name by their
// keys' values, in their order, as the provider numbers them now; FID_NULL
// for a key it no longer finds. Reads the key column of every row once.
std::vector<QgsFeatureId> qgisIdsOfKeys(QgsVectorLayer& layer,
                                        const std::vector<QgsFeatureId>& keys);

}  // namespace bramlotte::qgishost
