// Field values written straight into a PostGIS table over libpq, in one
// transaction: every value or none. QGIS's provider sends one UPDATE a
// feature, which for 250,000 streets takes half a minute; here the values
// go to the server in one COPY and into the table in one UPDATE a field.
#pragma once

#include "map/store/staged_values.h"

#include <qgsfeatureid.h>

#include <QString>

#include <optional>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::qgishost {

struct PostGisTable {
    QString connectionInfo;  // libpq's "key=value …" form
    QString relation;        // the table, quoted, with its schema where the layer names one
    QString keyColumn;       // its key, quoted
    // int8: a row's id is its key's value (the store read it by key). int4:
    // its id is QGIS's, the key's value read unsigned.
    bool wideKey = false;
    // For each staged field, its column, quoted, and its server type.
    std::vector<QString> columns, types;
};

// The table behind a PostgreSQL layer keyed by one whole-number column
// whose rows the ids name (QGIS's for an int4 key; the key's own values for
// an int8 key, where `keyValueIds`) and whose `staged` fields are of the
// types written here (text, varchar, char, int2, int4, int8); nullopt for
// any other layer, which the provider writes. The layer's own data source,
// not an edit buffer or a transaction group.
std::optional<PostGisTable> postGisTableOf(QgsVectorLayer& layer, const store::StagedValues& staged,
                                           bool keyValueIds);

// Saves `staged` (row r of each column for the feature ids[r]) into
// `table`: every value or none. False with `errors` set (the server's
// words) when nothing was saved, also when a feature to be written no
// longer exists.
bool updatePostGis(const PostGisTable& table, const std::vector<QgsFeatureId>& ids,
                   const store::StagedValues& staged, QString& errors);

}  // namespace bramlotte::qgishost
