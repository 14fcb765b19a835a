#include "map/qgis/feature_store.h"

#include "map/host.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectordataprovider.h>

#include <algorithm>

namespace bramlotte::qgishost {
namespace {

const char* const kObjectName = "bramlotte_feature_store";

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

void FeatureStore::invalidate() {
    // Staged values belong to rows of the read being dropped.
    if (!staged_.empty()) {
        staged_.clear();
        stagedLost_ = true;
    }
    loaded_ = false;
    rows_ = StoreRows();
    tree_ = PackedRTree();
}

void FeatureStore::ensureLoaded() {
    if (!loaded_) {
        load();
    }
}

void FeatureStore::load() {
    invalidate();
    rows_ = readRows(*layer_);
    std::vector<uint32_t> shaped;  // only shapes take part in searches
    shaped.reserve(rows_.count());
    for (size_t row = 0; row < rows_.count(); ++row) {
        if (hasGeometry(row)) {
            shaped.push_back(static_cast<uint32_t>(row));
        }
    }
    tree_ = PackedRTree(rows_.boxes, std::move(shaped));
    loaded_ = true;
    ++loadCount_;
}

QgsGeometry FeatureStore::geometry(size_t row) const {
    if (!hasGeometry(row)) {
        return QgsGeometry();
    }
    size_t size = 0;
    const unsigned char* data = wkb(row, size);
    QgsGeometry g;
    g.fromWkb(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    return g;
}

QVariant FeatureStore::value(size_t row, int index) const {
    if (index < 0 || static_cast<size_t>(index) >= rows_.columns.size()) {
        throw host::HostError(host::error::kInvalidArgument,
                              QStringLiteral("Field index %1 is out of range.").arg(index));
    }
    // A value written during the open edit reads as written.
    if (!staged_.empty()) {
        const auto field = staged_.find(index);
        if (field != staged_.end() && field->second.written[row]) {
            return field->second.values[row];
        }
    }
    return rows_.columns[static_cast<size_t>(index)].at(row);
}

std::vector<uint32_t> FeatureStore::candidates(const Box& query) const {
    std::vector<uint32_t> hits;
    tree_.query(query, hits);
    std::sort(hits.begin(), hits.end());
    return hits;
}

void FeatureStore::beginTransaction() {
    QgsVectorDataProvider* provider = layer_ ? layer_->dataProvider() : nullptr;
    if (!provider || !(provider->capabilities() & QgsVectorDataProvider::ChangeAttributeValues)) {
        throw host::HostError(
            host::error::kWriteFailed,
            QStringLiteral("Layer %1 cannot be edited.").arg(layer_ ? layer_->name() : QString()));
    }
    if (transactionOpen_) {
        throw host::HostError(
            host::error::kFail,
            QStringLiteral("An edit of layer %1 is already open.").arg(layer_->name()));
    }
    staged_.clear();
    stagedLost_ = false;
    transactionOpen_ = true;
}

void FeatureStore::stageValue(size_t row, int index, const QVariant& value) {
    StagedColumn& field = staged_[index];
    if (field.values.empty()) {
        field.values.resize(rowCount());
        field.written.resize(rowCount());
    }
    field.values[row] = value;
    if (!field.written[row]) {
        field.written[row] = true;
        ++field.count;
    }
}

void FeatureStore::commitTransaction() {
    transactionOpen_ = false;
    StagedValues changes;
    changes.swap(staged_);
    if (stagedLost_) {
        stagedLost_ = false;
        throw host::HostError(host::error::kWriteFailed,
                              QStringLiteral("Layer %1 changed while its values were being "
                                             "written; none of them was saved.")
                                  .arg(layer_ ? layer_->name() : QString()));
    }
    if (changes.empty() || !layer_) {
        return;
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
                    ok = layer_->changeAttributeValue(rows_.ids[row], li, column.values[row]);
                }
            }
        }
        if (ok) {
            layer_->endEditCommand();
        } else {
            layer_->destroyEditCommand();
        }
    } else {
        QgsVectorDataProvider* provider = layer_->dataProvider();
        const std::optional<GeoPackageTable> gpkg =
            geoPackageTableOf(provider->name(), provider->storageType(), provider->dataSourceUri());
        if (gpkg) {
            // One SQLite transaction; then QGIS reads the table anew.
            ok = updateGeoPackage(*gpkg, provider->fields(), rows_.ids, changes, errors);
            if (ok) {
                provider->reloadData();
            }
        } else {
            provider->clearErrors();
            ok = provider->changeAttributeValues(changedAttributes(rows_.ids, changes));
            errors = provider->errors().join(QStringLiteral("; "));
        }
        layer_->triggerRepaint();
    }
    ownWrite_ = false;
    if (ok && loaded_) {
        // The held values take the saved ones; a field written for most
        // rows keeps them as they are.
        for (auto& [field, column] : changes) {
            ValueColumn& held = rows_.columns[static_cast<size_t>(field)];
            if (2 * column.count >= rowCount()) {
                held.setMany(column.written, std::move(column.values));
                continue;
            }
            for (size_t row = 0; row < column.written.size(); ++row) {
                if (column.written[row]) {
                    held.set(row, column.values[row]);
                }
            }
        }
    }
    if (!ok) {
        invalidate();
        throw host::HostError(host::error::kWriteFailed,
                              QStringLiteral("The field values of layer %1 could not be saved. %2")
                                  .arg(layer_->name(), errors)
                                  .trimmed());
    }
}

void FeatureStore::rollbackTransaction() {
    transactionOpen_ = false;
    staged_.clear();  // the held values never took them
    stagedLost_ = false;
}

}  // namespace bramlotte::qgishost
