#include "map/qgis/writing/postgres_key.h"

#include <qgsdatasourceuri.h>
#include <qgsvectordataprovider.h>

namespace bramlotte::qgishost {
namespace {

QString unquoted(QString identifier) {
    if (identifier.size() >= 2 && identifier.startsWith(QLatin1Char('"')) &&
        identifier.endsWith(QLatin1Char('"'))) {
        identifier = identifier.mid(1, identifier.size() - 2);
        identifier.replace(QLatin1String("\"\""), QLatin1String("\""));
    }
    return identifier;
}

}  // namespace

std::optional<PostgresKey> postgresKeyOf(const QgsVectorDataProvider& provider) {
    if (provider.name() != QLatin1String("postgres")) {
        return std::nullopt;
    }
    const QgsDataSourceUri uri(provider.dataSourceUri());
    // A query layer ("(SELECT …)") is numbered and filtered by rules of its own.
    if (uri.table().isEmpty() || uri.table().startsWith(QLatin1Char('('))) {
        return std::nullopt;
    }
    const QgsAttributeList key = provider.pkAttributeIndexes();
    const QgsFields own = provider.fields();
    if (key.size() != 1 || key[0] < 0 || key[0] >= own.count()) {
        return std::nullopt;
    }
    const QgsField& field = own.at(key[0]);
    const bool int4 = field.typeName() == QLatin1String("int4") && field.type() == QVariant::Int;
    const bool int8 =
        field.typeName() == QLatin1String("int8") && field.type() == QVariant::LongLong;
    if ((!int4 && !int8) ||
        (!uri.keyColumn().isEmpty() && unquoted(uri.keyColumn()) != field.name())) {
        return std::nullopt;
    }
    return PostgresKey{key[0], field.name(), int8};
}

}  // namespace bramlotte::qgishost
