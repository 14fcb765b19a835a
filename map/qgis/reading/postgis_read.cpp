#include "map/qgis/reading/postgis_read.h"

#include "map/qgis/reading/direct_read.h"

#include <qgsdatasourceuri.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <qgswkbtypes.h>

namespace bramlotte::qgishost {
namespace {

using store::PgValue;

// How the provider delivers a field of this server type, where the binary
// read gives the same values; its type names are the server's own, but for
// "character".
std::optional<PgValue> valueOf(const QgsField& field) {
    const QString type = field.typeName();
    const QVariant::Type kind = field.type();
    if (type == QLatin1String("int2") && kind == QVariant::Int) {
        return PgValue::Int16;
    }
    if (type == QLatin1String("int4") && kind == QVariant::Int) {
        return PgValue::Int32;
    }
    if (type == QLatin1String("int8") && kind == QVariant::LongLong) {
        return PgValue::Int64;
    }
    if (type == QLatin1String("float8") && kind == QVariant::Double) {
        return PgValue::Float64;
    }
    if (type == QLatin1String("numeric") && kind == QVariant::Double) {
        return PgValue::Numeric;
    }
    if ((type == QLatin1String("text") || type == QLatin1String("varchar") ||
         type == QLatin1String("character") || type == QLatin1String("bpchar")) &&
        kind == QVariant::String) {
        return PgValue::Text;
    }
    if (type == QLatin1String("bool") && kind == QVariant::Bool) {
        return PgValue::Boolean;
    }
    if (type == QLatin1String("date") && kind == QVariant::Date) {
        return PgValue::Date;
    }
    return std::nullopt;  // float4 (read from its shorter text), times, arrays, maps …
}

QString unquoted(QString identifier) {
    if (identifier.size() >= 2 && identifier.startsWith(QLatin1Char('"')) &&
        identifier.endsWith(QLatin1Char('"'))) {
        identifier = identifier.mid(1, identifier.size() - 2);
        identifier.replace(QLatin1String("\"\""), QLatin1String("\""));
    }
    return identifier;
}

}  // namespace

std::optional<store::PostGisQuery> postGisQueryOf(QgsVectorLayer& layer,
                                                  const store::WantedFields& wanted, RowIds ids) {
    if (!showsItsSourceAsIs(layer)) {
        return std::nullopt;
    }
    QgsVectorDataProvider* provider = layer.dataProvider();
    if (provider->name() != QLatin1String("postgres")) {
        return std::nullopt;
    }
    const QgsDataSourceUri uri(provider->dataSourceUri());
    // A query layer ("(SELECT …)") is numbered and filtered by rules of its own.
    if (uri.table().isEmpty() || uri.table().startsWith(QLatin1Char('('))) {
        return std::nullopt;
    }
    // The key QGIS uses: one int4 column, whose value numbers the row, or,
    // where the caller takes them, one int8 column, whose values stand in
    // for the numbers the provider gives its rows in the order it first
    // meets them. Any other key or none is numbered by a map of its own.
    const QgsAttributeList key = provider->pkAttributeIndexes();
    const QgsFields own = provider->fields();
    if (key.size() != 1 || key[0] < 0 || key[0] >= own.count()) {
        return std::nullopt;
    }
    const QgsField& keyField = own.at(key[0]);
    const bool int4 =
        keyField.typeName() == QLatin1String("int4") && keyField.type() == QVariant::Int;
    const bool int8 = ids == RowIds::KeyValues && keyField.typeName() == QLatin1String("int8") &&
                      keyField.type() == QVariant::LongLong;
    if ((!int4 && !int8) ||
        (!uri.keyColumn().isEmpty() && unquoted(uri.keyColumn()) != keyField.name())) {
        return std::nullopt;
    }
    store::PostGisQuery query;
    query.wideKey = int8;
    query.connectionInfo = uri.connectionInfo(true);
    query.schema = uri.schema();
    query.table = uri.table();
    query.keyColumn = keyField.name();
    query.geometryColumn = uri.geometryColumn();
    query.filter = provider->subsetString();
    if (uri.wkbType() != QgsWkbTypes::Unknown && uri.wkbType() != QgsWkbTypes::NoGeometry) {
        query.geometryType = QgsWkbTypes::displayString(uri.wkbType()).toUpper();
    }
    query.srid = uri.srid();
    for (int i = 0; i < own.count(); ++i) {
        const QgsField& field = own.at(i);
        if (!store::wants(wanted, static_cast<size_t>(i))) {
            // Left unread, of whatever type: only the wanted values must
            // come out as QGIS gives them.
            query.columns.push_back({field.name(), PgValue::Unread});
            continue;
        }
        if (i == key[0]) {
            query.columns.push_back({field.name(), PgValue::Key});
            continue;
        }
        const std::optional<PgValue> value = valueOf(field);
        if (!value) {
            return std::nullopt;
        }
        query.columns.push_back({field.name(), *value});
    }
    return query;
}

}  // namespace bramlotte::qgishost
