#include "map/qgis/reading/postgis_read.h"

#include "map/qgis/reading/direct_read.h"
#include "map/qgis/writing/postgres_key.h"

#include <qgsdatasourceuri.h>
#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <qgswkbtypes.h>

#include <unordered_map>

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

}  // namespace

std::optional<store::PostGisQuery> postGisQueryOf(QgsVectorLayer& layer,
                                                  const store::WantedFields& wanted, RowIds ids) {
    if (!showsItsSourceAsIs(layer)) {
        return std::nullopt;
    }
    QgsVectorDataProvider* provider = layer.dataProvider();
    // An int8 key's values stand in for the provider's own numbers only
    // where the caller takes them.
    const std::optional<PostgresKey> key = postgresKeyOf(*provider);
    if (!key || (key->wide && ids != RowIds::KeyValues)) {
        return std::nullopt;
    }
    const QgsDataSourceUri uri(provider->dataSourceUri());
    const QgsFields own = provider->fields();
    store::PostGisQuery query;
    query.wideKey = key->wide;
    query.connectionInfo = uri.connectionInfo(true);
    query.schema = uri.schema();
    query.table = uri.table();
    query.keyColumn = key->name;
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
        if (i == key->field) {
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

std::vector<QgsFeatureId> qgisIdsOfKeys(QgsVectorLayer& layer,
                                        const std::vector<QgsFeatureId>& keys) {
    std::vector<QgsFeatureId> ids(keys.size(), FID_NULL);
    QgsVectorDataProvider* provider = layer.dataProvider();
    const std::optional<PostgresKey> key = provider ? postgresKeyOf(*provider) : std::nullopt;
    if (!key || !key->wide) {
        return ids;
    }
    std::unordered_map<qint64, QgsFeatureId> idOfKey;
    idOfKey.reserve(keys.size());
    QgsFeatureRequest request;
    request.setFlags(QgsFeatureRequest::NoGeometry);
    request.setSubsetOfAttributes(QgsAttributeList{key->field});
    QgsFeature f;
    for (QgsFeatureIterator it = provider->getFeatures(request); it.nextFeature(f);) {
        bool ok = false;
        const qint64 value = f.attribute(key->field).toLongLong(&ok);
        if (ok) {
            idOfKey.emplace(value, f.id());
        }
    }
    for (size_t row = 0; row < keys.size(); ++row) {
        if (const auto found = idOfKey.find(keys[row]); found != idOfKey.end()) {
            ids[row] = found->second;
        }
    }
    return ids;
}

}  // namespace bramlotte::qgishost
