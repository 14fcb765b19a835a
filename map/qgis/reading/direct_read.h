// Layers whose features QGIS would deliver exactly as their data source
// holds them can be read from the source without QGIS's feature iterator,
// many times faster. Anything QGIS adds or changes on the way (an edit
// buffer, joins, expression fields, a filter the source cannot run, a kind
// of value or shape read otherwise) keeps the layer on QGIS's own path.
#pragma once

#include "map/store/geopackage_rows.h"

#include <optional>

class QgsVectorLayer;

namespace bramlotte::qgishost {

// Whether the layer shows exactly its data source's features and fields: it
// is valid, not being edited, in no transaction, without joins or
// expression fields.
bool showsItsSourceAsIs(QgsVectorLayer& layer);

// The query that reads `layer`'s rows (the data source's own fields, in
// their order, the values of the `wanted` ones) straight from its
// GeoPackage table, or nullopt when the layer must be read through QGIS.
std::optional<store::GeoPackageQuery> geoPackageQueryOf(QgsVectorLayer& layer,
                                                        const store::WantedFields& wanted = {});

}  // namespace bramlotte::qgishost
