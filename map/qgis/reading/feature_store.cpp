#include "map/qgis/reading/feature_store.h"

#include "map/qgis/reading/layer_reading.h"
#include "map/qgis/writing/changed_files.h"
#include "map/qgis/writing/geopackage_update.h"
#include "map/qgis/writing/lost_connection.h"
#include "map/qgis/writing/postgis_update.h"
#include "map/qgis/writing/shapefile_update.h"
#include "support/base/failure.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsproject.h>
#include <qgsvectordataprovider.h>

#include <algorithm>
#include <mutex>

namespace bramlotte::qgishost {
namespace {

const char* const kObjectName = "bramlotte_feature_store";

// Values saved straight into the data source go into files; none of them
// may be one whose mode bits forbid writing it. Values that join the user's
// edit buffer change no file.
void refuseReadOnlySource(const QgsVectorLayer& layer) {
    if (!layer.isEditable() && layer.dataProvider()) {
        refuseReadOnlyFiles(filesChangedByFieldWrite(*layer.dataProvider()));
    }
}

// Every layer of the project reading the shapefile `table` reads it anew:
// the table they had open has been replaced.
void reloadReadersOf(QgsVectorLayer& layer, const QString& table) {
    layer.dataProvider()->reloadData();
    if (QgsProject* project = layer.project()) {
        for (QgsVectorLayer* other : project->layers<QgsVectorLayer*>()) {
            QgsVectorDataProvider* p = other != &layer ? other->dataProvider() : nullptr;
            if (p && shapefileTableOf(p->name(), p->storageType(), p->dataSourceUri()) == table) {
                p->reloadData();
                other->triggerRepaint();
            }
        }
    }
}

// QGIS's ids for the rows `keys` name by an int8 key's values; false with
// `errors` set when a feature to be written is gone.
bool toQgisIds(QgsVectorLayer& layer, const std::vector<QgsFeatureId>& keys,
               const StagedValues& changes, std::vector<QgsFeatureId>& qgisIds, QString& errors) {
    qgisIds = qgisIdsOfKeys(layer, keys);
    std::vector<bool> gone(keys.size());
    for (const auto& change : changes) {
        const StagedColumn& column = change.second;
        for (size_t row = 0; row < column.written.size(); ++row) {
            gone[row] = gone[row] || (column.written[row] && qgisIds[row] == FID_NULL);
        }
    }
    if (const auto missing = std::count(gone.begin(), gone.end(), true); missing > 0) {
        errors = QStringLiteral("%1 of the features to be written no longer exist.").arg(missing);
        return false;
    }
    return true;
}

// Saves `changes` straight into the layer's data source, all or nothing:
// row r for the feature `ids[r]`, an int8 key's value where `keyValueIds`,
// else QGIS's id. False with `errors` set when nothing was saved.
bool saveToSource(QgsVectorLayer& layer, const std::vector<QgsFeatureId>& ids, bool keyValueIds,
                  const StagedValues& changes, QString& errors) {
    try {
        refuseReadOnlySource(layer);  // again: a mode may have changed since the edit began
    } catch (const support::Failure& e) {
        errors = e.description();
        return false;
    }
    QgsVectorDataProvider* provider = layer.dataProvider();
    const QString name = provider->name(), storage = provider->storageType(),
                  uri = provider->dataSourceUri();
    if (const std::optional<GeoPackageTable> gpkg = geoPackageTableOf(name, storage, uri)) {
        // One SQLite transaction; then QGIS reads the table anew.
        if (!updateGeoPackage(*gpkg, provider->fields(), ids, changes, errors)) {
            return false;
        }
        provider->reloadData();
        return true;
    }
    if (const QString table = shapefileTableOf(name, storage, uri); !table.isEmpty()) {
        // A whole new attribute table in place of the old; then QGIS reads it.
        if (!updateShapefileTable(table, *provider, changedAttributes(ids, changes), errors)) {
            return false;
        }
        reloadReadersOf(layer, table);
        return true;
    }
    if (const std::optional<PostGisTable> table = postGisTableOf(layer, changes, keyValueIds)) {
        // One transaction over libpq; then QGIS reads the table anew.
        if (!updatePostGis(*table, ids, changes, errors)) {
            return false;
        }
        provider->reloadData();
        return true;
    }
    // Any other source: the provider's own batch (a transaction on a
    // database; see the README for which formats hold all or nothing),
    // which finds the rows by QGIS's ids.
    std::vector<QgsFeatureId> qgisIds;
    if (keyValueIds && !toQgisIds(layer, ids, changes, qgisIds, errors)) {
        return false;
    }
    provider->clearErrors();
    const bool ok =
        provider->changeAttributeValues(changedAttributes(keyValueIds ? qgisIds : ids, changes));
    errors = provider->errors().join(QStringLiteral("; "));
    return ok;
}

}  // namespace

FeatureStore& FeatureStore::of(QgsVectorLayer& layer) {
    if (auto* existing = layer.findChild<FeatureStore*>(kObjectName, Qt::FindDirectChildrenOnly)) {
        return *existing;
    }
    return *new FeatureStore(layer);  // owned by the layer as its child
}

FeatureStore::FeatureStore(QgsVectorLayer& layer) : QObject(&layer), layer_(&layer) {
    setObjectName(kObjectName);
    auto drop = [this] {
        if (!ownWrite_) {
            invalidate();
        }
    };
    connect(&layer, &QgsMapLayer::dataChanged, this, drop);
    connect(&layer, &QgsMapLayer::dataSourceChanged, this, drop);
    connect(&layer, &QgsVectorLayer::subsetStringChanged, this, drop);
    connect(&layer, &QgsVectorLayer::featureAdded, this, drop);
    connect(&layer, &QgsVectorLayer::featureDeleted, this, drop);
    connect(&layer, &QgsVectorLayer::geometryChanged, this, drop);
    connect(&layer, &QgsVectorLayer::attributeValueChanged, this, drop);
    connect(&layer, &QgsVectorLayer::afterRollBack, this, drop);
    if (layer.dataProvider()) {
        connect(layer.dataProvider(), &QgsDataProvider::dataChanged, this, drop);
    }
}

FeatureStore::~FeatureStore() {
    const std::unique_lock<std::shared_mutex> closing(gate_->mutex);
    gate_->table = nullptr;
}

void FeatureStore::invalidate() {
    // Staged values belong to rows of the read being dropped.
    if (table_.hasStaged()) {
        stagedLost_ = true;
    }
    loaded_ = false;
    const std::unique_lock<std::shared_mutex> closing(gate_->mutex);
    gate_->table = nullptr;
    table_.clear();
}

RowIds FeatureStore::rowIds() const {
    // The user's edit buffer and a transaction group take values by QGIS's
    // ids; a save to the data source finds the rows by key.
    QgsVectorDataProvider* provider = layer_ ? layer_->dataProvider() : nullptr;
    const bool editByQgisIds =
        transactionOpen_ && (!provider || layer_->isEditable() || provider->transaction());
    return editByQgisIds || qgisIdHolds_ > 0 ? RowIds::Qgis : RowIds::KeyValues;
}

void FeatureStore::ensureLoaded(const store::WantedFields& wanted) {
    const size_t fields = static_cast<size_t>(layer_->dataProvider()->fields().count());
    bool held = loaded_ && !(table_.keyValueIds() && rowIds() == RowIds::Qgis);
    for (size_t i = 0; held && i < fields; ++i) {
        held = !store::wants(wanted, i) || table_.holdsValuesOf(static_cast<int>(i));
    }
    if (held) {
        return;
    }
    // What was held stays wanted: the next build of the same layer then
    // finds it held too.
    store::WantedFields all;
    if (!wanted.empty()) {
        all.resize(fields);
        for (size_t i = 0; i < fields; ++i) {
            all[i] =
                store::wants(wanted, i) || (loaded_ && table_.holdsValuesOf(static_cast<int>(i)));
        }
    }
    load(all);
}

void FeatureStore::load(const store::WantedFields& wanted) {
    invalidate();
    StoreRows rows = readRows(*layer_, kTwoHalvesFrom, wanted, rowIds());
    const std::unique_lock<std::shared_mutex> opening(gate_->mutex);
    table_.load(std::move(rows));
    loaded_ = true;
    ++loadCount_;
    gate_->table = &table_;
    gate_->loadCount = loadCount_;
}

QgsGeometry FeatureStore::geometry(size_t row) const {
    if (!table_.hasGeometry(row)) {
        return QgsGeometry();
    }
    size_t size = 0;
    const unsigned char* data = table_.wkb(row, size);
    QgsGeometry g;
    g.fromWkb(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    return g;
}

void FeatureStore::beginTransaction() {
    QgsVectorDataProvider* provider = layer_ ? layer_->dataProvider() : nullptr;
    if (provider) {
        // A read-only file is the cause to name, before the provider's own
        // refusal to edit it.
        refuseReadOnlySource(*layer_);
    }
    if (!provider || !(provider->capabilities() & QgsVectorDataProvider::ChangeAttributeValues)) {
        throw support::Failure(
            support::error::kWriteFailed,
            QStringLiteral("Layer %1 cannot be edited.").arg(layer_ ? layer_->name() : QString()));
    }
    if (transactionOpen_) {
        throw support::Failure(
            support::error::kFail,
            QStringLiteral("An edit of layer %1 is already open.").arg(layer_->name()));
    }
    table_.takeStaged();
    stagedLost_ = false;
    transactionOpen_ = true;
}

void FeatureStore::stageValue(size_t row, int index, const QVariant& value) {
    table_.stage(row, index, value);
}

void FeatureStore::commitTransaction() {
    transactionOpen_ = false;
    StagedValues changes = table_.takeStaged();
    if (stagedLost_) {
        stagedLost_ = false;
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("Layer %1 changed while its values were being "
                                              "written; none of them was saved.")
                                   .arg(layer_ ? layer_->name() : QString()));
    }
    if (changes.empty() || !layer_) {
        return;
    }
    if (table_.keyValueIds() && layer_->isEditable()) {
        // Never into the edit buffer by ids QGIS does not know: they would
        // name other rows.
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("The values of layer %1 could not be matched to "
                                              "its features; none of them was saved.")
                                   .arg(layer_->name()));
    }
    ownWrite_ = true;
    bool ok = true;
    QString errors;
    if (layer_->isEditable()) {
        // The user has the layer open for editing: our values join the edit
        // buffer as one undoable step and are saved with the user's edits.
        const QgsFields own = layer_->dataProvider()->fields();
        layer_->beginEditCommand(QStringLiteral("Build index"));
        for (auto f = changes.begin(); f != changes.end() && ok; ++f) {
            const int li = layer_->fields().indexFromName(own.at(f->first).name());
            const StagedColumn& column = f->second;
            for (size_t row = 0; row < column.written.size() && ok; ++row) {
                if (column.written[row]) {
                    ok = layer_->changeAttributeValue(table_.id(row), li, column.values[row]);
                }
            }
        }
        if (ok) {
            layer_->endEditCommand();
        } else {
            layer_->destroyEditCommand();
        }
    } else {
        ok = saveToSource(*layer_, table_.ids(), table_.keyValueIds(), changes, errors);
        layer_->triggerRepaint();
    }
    ownWrite_ = false;
    if (ok && loaded_) {
        table_.takeSaved(std::move(changes));
    }
    if (!ok) {
        invalidate();
        // A lost connection is the cause a person can act on; the
        // provider's own words follow it.
        const bool lost = layer_->dataProvider() && connectionLost(*layer_->dataProvider());
        throw support::Failure(
            support::error::kWriteFailed,
            QStringLiteral("The field values of layer %1 could not be saved%2. %3")
                .arg(layer_->name(),
                     lost ? QStringLiteral(": the connection to the database server was lost")
                          : QString(),
                     errors)
                .trimmed());
    }
}

void FeatureStore::rollbackTransaction() {
    transactionOpen_ = false;
    table_.takeStaged();  // the held values never took them
    stagedLost_ = false;
}

QgisIdsHold::QgisIdsHold(QgsVectorLayer& layer) : store_(&FeatureStore::of(layer)) {
    ++store_->qgisIdHolds_;
}

QgisIdsHold::~QgisIdsHold() {
    if (store_) {
        --store_->qgisIdHolds_;
    }
}

}  // namespace bramlotte::qgishost
