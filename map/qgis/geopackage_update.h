// Field values written straight into a GeoPackage table, in one SQLite
// transaction: every value or none. The generic provider path rewrites each
// feature whole, geometry included, which is many times slower.
#pragma once

#include <qgsfeature.h>
#include <qgsfields.h>

#include <QString>

#include <optional>

namespace bramlotte::qgishost {

struct GeoPackageTable {
    QString path;       // the .gpkg file
    QString table;      // the layer's table
    QString fidColumn;  // its feature id column
};

// The GeoPackage table behind a layer of the "ogr" provider, or nullopt for
// any other source.
std::optional<GeoPackageTable> geoPackageTableOf(const QString& providerName,
                                                 const QString& storageType,
                                                 const QString& dataSourceUri);

// Writes `changes` (values by source field index) in one transaction.
// Returns false with `error` set, the table unchanged, on any failure.
bool updateGeoPackage(const GeoPackageTable& target, const QgsFields& fields,
                      const QgsChangedAttributesMap& changes, QString& error);

}  // namespace bramlotte::qgishost
