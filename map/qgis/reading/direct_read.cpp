#include "map/qgis/reading/direct_read.h"

#include "map/qgis/reading/layer_reading.h"
#include "map/qgis/writing/geopackage_update.h"

#include <qgsproviderregistry.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <qgsvectorlayerjoinbuffer.h>

#include <QFileInfo>

#include <algorithm>

namespace bramlotte::qgishost {
namespace {

using store::SourceType;

// How the OGR provider delivers a field of this type, where the direct read
// gives the same values.
std::optional<SourceType> sourceTypeOf(const QgsField& field) {
    switch (field.type()) {
        case QVariant::Int:
            return SourceType::Int32;
        case QVariant::LongLong:
            return SourceType::Int64;
        case QVariant::Double:
            return SourceType::Real;
        case QVariant::String:
            return SourceType::Text;
        case QVariant::Bool:
            return SourceType::Boolean;
        case QVariant::Date:
            return SourceType::Date;
        default:
            return std::nullopt;  // date and time, binary, lists, maps: QGIS's path
    }
}

}  // namespace

bool showsItsSourceAsIs(QgsVectorLayer& layer) {
    QgsVectorDataProvider* provider = layer.dataProvider();
    if (!layer.isValid() || !provider || layer.isEditable() || provider->transaction() ||
        layer.joinBuffer()->containsJoins()) {
        return false;
    }
    const QgsFields fields = layer.fields();
    for (int i = 0; i < fields.count(); ++i) {
        if (fields.fieldOrigin(i) != QgsFields::OriginProvider) {
            return false;  // an expression field or a joined one
        }
    }
    const QgsAttributeList own = ownFieldIndexes(layer);
    return std::none_of(own.begin(), own.end(), [](int i) { return i < 0; });
}

std::optional<store::GeoPackageQuery> geoPackageQueryOf(QgsVectorLayer& layer,
                                                        const store::WantedFields& wanted) {
    if (!showsItsSourceAsIs(layer)) {
        return std::nullopt;
    }
    QgsVectorDataProvider* provider = layer.dataProvider();
    if (provider->name() != QLatin1String("ogr") ||
        provider->storageType() != QLatin1String("GPKG")) {
        return std::nullopt;
    }
    // A plain table of a file: no other part in the address (a geometry
    // type picked out of the table, open options, a path inside an archive).
    const QVariantMap parts =
        QgsProviderRegistry::instance()->decodeUri(provider->name(), provider->dataSourceUri());
    for (auto it = parts.constBegin(); it != parts.constEnd(); ++it) {
        const bool known =
            it.key() == QLatin1String("path") || it.key() == QLatin1String("layerName") ||
            it.key() == QLatin1String("layerId") || it.key() == QLatin1String("subset");
        const bool empty = it.value().type() == QVariant::StringList
                               ? it.value().toStringList().isEmpty()
                               : it.value().toString().isEmpty();
        if (!known && !empty) {
            return std::nullopt;
        }
    }
    if (!QFileInfo(parts.value(QStringLiteral("path")).toString()).isFile()) {
        return std::nullopt;
    }
    // The provider hands a filter to the GeoPackage as the condition of its
    // own query, except a whole SELECT statement, which it runs as a query
    // of its own.
    const QString filter = provider->subsetString().trimmed();
    if (filter.startsWith(QLatin1String("select"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    const std::optional<GeoPackageTable> table =
        geoPackageTableOf(provider->name(), provider->storageType(), provider->dataSourceUri());
    if (!table) {
        return std::nullopt;
    }
    const std::optional<store::GeoPackageTableInfo> info =
        store::geoPackageTableInfo(table->path, table->table);
    if (!info) {
        return std::nullopt;
    }
    store::GeoPackageQuery query;
    query.path = table->path;
    query.table = table->table;
    query.fidColumn = table->fidColumn;
    query.geometryColumn = info->geometryColumn;
    query.filter = filter;
    query.firstId = table->firstId;
    query.lastId = table->lastId;
    query.promoteToMulti = store::deliveredAsMultipart(info->geometryType);
    const QgsFields own = provider->fields();
    for (int i = 0; i < own.count(); ++i) {
        const QgsField& field = own.at(i);
        if (!store::wants(wanted, static_cast<size_t>(i))) {
            // Left unread, of whatever type: only the wanted values must
            // come out as QGIS gives them.
            query.columns.push_back({field.name(), SourceType::Unread});
            continue;
        }
        if (field.name() == table->fidColumn) {
            query.columns.push_back({field.name(), SourceType::Id});
            continue;
        }
        const std::optional<SourceType> type = sourceTypeOf(field);
        if (!type || std::find(info->columns.begin(), info->columns.end(), field.name()) ==
                         info->columns.end()) {
            return std::nullopt;
        }
        query.columns.push_back({field.name(), *type});
    }
    return query;
}

}  // namespace bramlotte::qgishost
