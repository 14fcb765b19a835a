#include "map/qgis/feature_store.h"

#include "map/host.h"
#include "map/qgis/wkb_writer.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectordataprovider.h>

#include <algorithm>
#include <numeric>

namespace bramlotte::qgishost {
namespace {

const char* const kObjectName = "bramlotte_feature_store";

Box toBox(const QgsRectangle& r) {
    return {r.xMinimum(), r.yMinimum(), r.xMaximum(), r.yMaximum()};
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

void FeatureStore::invalidate() {
    // Staged values belong to rows of the read being dropped.
    if (!staged_.empty()) {
        staged_.clear();
        stagedLost_ = true;
    }
    loaded_ = false;
    ids_ = {};
    columns_ = {};
    wkbData_ = {};
    wkbOffset_ = {};
    boxes_ = {};
    tree_ = PackedRTree();
}

void FeatureStore::ensureLoaded() {
    if (!loaded_) {
        load();
    }
}

void FeatureStore::load() {
    QgsVectorDataProvider* provider = layer_ ? layer_->dataProvider() : nullptr;
    if (!provider || !layer_->isValid()) {
        throw host::HostError(host::error::kFail,
                              QStringLiteral("The layer's data source cannot be read."));
    }
    invalidate();
    // Read the data source's own fields, in their order, as the layer presents them.
    const QgsFields own = provider->fields();
    QgsAttributeList layerIndexes;
    for (int i = 0; i < own.count(); ++i) {
        layerIndexes << layer_->fields().indexFromName(own.at(i).name());
    }
    QgsFeatureRequest request;
    request.setSubsetOfAttributes(layerIndexes);
    const size_t expected = static_cast<size_t>(std::max<long long>(0, layer_->featureCount()));
    for (int i = 0; i < own.count(); ++i) {
        const QVariant::Type type = own.at(i).type();
        columns_.emplace_back(type == QVariant::Int || type == QVariant::LongLong ||
                              type == QVariant::UInt || type == QVariant::ULongLong);
        columns_.back().reserve(expected);
    }
    ids_.reserve(expected);
    boxes_.reserve(expected);
    wkbOffset_.reserve(expected + 1);
    wkbOffset_.push_back(0);
    QgsFeatureIterator it = layer_->getFeatures(request);
    QgsFeature f;
    while (it.nextFeature(f)) {
        ids_.push_back(f.id());
        const QgsAttributes values = f.attributes();
        for (int i = 0; i < own.count(); ++i) {
            const int li = layerIndexes[i];
            columns_[static_cast<size_t>(i)].append(li >= 0 && li < values.size() ? values.at(li)
                                                                                  : QVariant());
        }
        FloatBox box;
        const QgsAbstractGeometry* g = f.hasGeometry() ? f.geometry().constGet() : nullptr;
        if (g && !g->isEmpty()) {
            appendWkb(*g, wkbData_);
            box = FloatBox::around(toBox(g->boundingBox()));
        }
        boxes_.push_back(box);
        wkbOffset_.push_back(wkbData_.size());
    }
    if (!it.isValid() && ids_.empty() && layer_->featureCount() > 0) {
        throw host::HostError(
            host::error::kFail,
            QStringLiteral("The features of layer %1 cannot be read.").arg(layer_->name()));
    }
    sortById();

    std::vector<uint32_t> shaped;  // only shapes take part in searches
    shaped.reserve(ids_.size());
    for (size_t row = 0; row < ids_.size(); ++row) {
        if (hasGeometry(row)) {
            shaped.push_back(static_cast<uint32_t>(row));
        }
    }
    tree_ = PackedRTree(boxes_, std::move(shaped));
    loaded_ = true;
    ++loadCount_;
}

const unsigned char* FeatureStore::wkb(size_t row, size_t& size) const {
    size = wkbOffset_[row + 1] - wkbOffset_[row];
    return wkbData_.data() + wkbOffset_[row];
}

void FeatureStore::sortById() {
    // Sources usually deliver ascending ids already; reorder only when not.
    if (std::is_sorted(ids_.begin(), ids_.end())) {
        return;
    }
    std::vector<size_t> order(ids_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ids_[a] < ids_[b]; });
    std::vector<QgsFeatureId> ids;
    std::vector<FloatBox> boxes;
    std::vector<unsigned char> wkbData;
    std::vector<size_t> wkbOffset{0};
    ids.reserve(order.size());
    boxes.reserve(order.size());
    wkbData.reserve(wkbData_.size());
    wkbOffset.reserve(order.size() + 1);
    for (size_t row : order) {
        ids.push_back(ids_[row]);
        boxes.push_back(boxes_[row]);
        wkbData.insert(wkbData.end(),
                       wkbData_.begin() + static_cast<std::ptrdiff_t>(wkbOffset_[row]),
                       wkbData_.begin() + static_cast<std::ptrdiff_t>(wkbOffset_[row + 1]));
        wkbOffset.push_back(wkbData.size());
    }
    ids_ = std::move(ids);
    for (ValueColumn& column : columns_) {
        column.reorder(order);
    }
    boxes_ = std::move(boxes);
    wkbData_ = std::move(wkbData);
    wkbOffset_ = std::move(wkbOffset);
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
    if (index < 0 || static_cast<size_t>(index) >= columns_.size()) {
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
    return columns_[static_cast<size_t>(index)].at(row);
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
                    ok = layer_->changeAttributeValue(ids_[row], li, column.values[row]);
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
            ok = updateGeoPackage(*gpkg, provider->fields(), ids_, changes, errors);
            if (ok) {
                provider->reloadData();
            }
        } else {
            provider->clearErrors();
            ok = provider->changeAttributeValues(changedAttributes(ids_, changes));
            errors = provider->errors().join(QStringLiteral("; "));
        }
        layer_->triggerRepaint();
    }
    ownWrite_ = false;
    if (ok && loaded_) {
        // The held values take the saved ones; a field written for most
        // rows keeps them as they are.
        for (auto& [field, column] : changes) {
            ValueColumn& held = columns_[static_cast<size_t>(field)];
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
