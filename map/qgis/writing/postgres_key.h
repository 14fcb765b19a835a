// The key by which QGIS's PostgreSQL provider numbers the rows of a table
// or view layer, where it is one whole-number column: what both the
// binary read and the field output over libpq go by.
#pragma once

#include <QString>

#include <optional>

class QgsVectorDataProvider;

namespace bramlotte::qgishost {

struct PostgresKey {
    int field = -1;  // its index in the provider's fields
    QString name;
    // int8: the provider numbers the rows 1, 2, 3 … in a map of its own, in
    // the order it first meets them. int4: a row's number is its key's
    // value read as an unsigned 32-bit number (-5 is 4294967291).
    bool wide = false;
};

// The key of a "postgres" provider's table or view (not a query layer):
// one int4 or int8 column; nullopt for any other key, none, or another
// provider.
std::optional<PostgresKey> postgresKeyOf(const QgsVectorDataProvider& provider);

}  // namespace bramlotte::qgishost
