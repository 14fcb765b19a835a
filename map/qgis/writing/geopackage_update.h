// Field values written straight into a GeoPackage table, in one SQLite
// transaction: every value or none. The generic provider path rewrites each
// feature whole, geometry included, which is many times slower.
#pragma once

#include "map/store/staged_values.h"

#include <qgsfeature.h>
#include <qgsfields.h>

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace bramlotte::qgishost {

using store::StagedColumn;
using store::StagedValues;

// The same values in the form QGIS's providers take.
QgsChangedAttributesMap changedAttributes(const std::vector<QgsFeatureId>& ids,
                                          const StagedValues& staged);

struct GeoPackageTable {
    QString path;       // the .gpkg file
    QString table;      // the layer's table
    QString fidColumn;  // its feature id column
    // The lowest and highest feature id (none: last below first).
    qint64 firstId = 0, lastId = -1;
};

// The GeoPackage table behind a layer of the "ogr" provider, or nullopt for
// any other source.
std::optional<GeoPackageTable> geoPackageTableOf(const QString& providerName,
                                                 const QString& storageType,
                                                 const QString& dataSourceUri);

// Whether trigger `name` (its SQL `triggerSql`) does nothing while the
// feature ids of `table` stay as they are: an AFTER UPDATE trigger whose
// condition is "OLD.id != NEW.id AND (…)", the form of the triggers that
// keep a GeoPackage's spatial index. Any other form counts as acting.
bool idleWhileIdsStay(const QString& triggerSql, const QString& name, const QString& table,
                      const QString& fidColumn);

// Writes `changes` (values by source field index) in one transaction.
// Returns false with `error` set, the table unchanged, on any failure,
// including a feature that is no longer in the table.
bool updateGeoPackage(const GeoPackageTable& target, const QgsFields& fields,
                      const std::vector<QgsFeatureId>& ids, const StagedValues& changes,
                      QString& error);

}  // namespace bramlotte::qgishost
