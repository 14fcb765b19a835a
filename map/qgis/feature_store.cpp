#include "map/qgis/feature_store.h"

#include "map/host.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectordataprovider.h>

#include <algorithm>
#include <numeric>

namespace bramlotte::qgishost {
namespace {

const char* const kObjectName = "bramlotte_feature_store";

Box toBox(const QgsRectangle& r) { return {r.xMinimum(), r.yMinimum(), r.xMaximum(), r.yMaximum()}; }

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
    loaded_ = false;
    ids_ = {};
    attributes_ = {};
    wkbData_ = QByteArray();
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

    struct Row {
        QgsFeatureId id;
        QgsAttributes values;
        QByteArray wkb;
        Box box;
    };
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(std::max<long long>(0, layer_->featureCount())));
    QgsFeatureIterator it = layer_->getFeatures(request);
    QgsFeature f;
    while (it.nextFeature(f)) {
        Row row{f.id(), QgsAttributes(own.count()), {}, {}};
        const QgsAttributes all = f.attributes();
        for (int i = 0; i < own.count(); ++i) {
            const int li = layerIndexes[i];
            row.values[i] = li >= 0 && li < all.size() ? all.at(li) : QVariant();
        }
        if (f.hasGeometry() && !f.geometry().isEmpty()) {
            row.wkb = f.geometry().asWkb();
            row.box = toBox(f.geometry().boundingBox());
        }
        rows.push_back(std::move(row));
    }
    if (it.isValid() == false && rows.empty() && layer_->featureCount() > 0) {
        throw host::HostError(host::error::kFail,
                              QStringLiteral("The features of layer %1 cannot be read.")
                                  .arg(layer_->name()));
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });

    ids_.reserve(rows.size());
    attributes_.reserve(rows.size());
    boxes_.reserve(rows.size());
    wkbOffset_.reserve(rows.size() + 1);
    size_t total = 0;
    for (const Row& r : rows) {
        total += static_cast<size_t>(r.wkb.size());
    }
    wkbData_.reserve(static_cast<int>(total));
    wkbOffset_.push_back(0);
    std::vector<Box> indexed;  // only shapes take part in searches
    std::vector<uint32_t> indexedRow;
    for (Row& r : rows) {
        ids_.push_back(r.id);
        attributes_.push_back(std::move(r.values));
        boxes_.push_back(r.box);
        wkbData_.append(r.wkb);
        wkbOffset_.push_back(static_cast<size_t>(wkbData_.size()));
        if (!r.wkb.isEmpty()) {
            indexed.push_back(r.box);
            indexedRow.push_back(static_cast<uint32_t>(ids_.size() - 1));
        }
    }
    tree_ = PackedRTree(indexed);
    // The tree answers with positions in `indexed`; map them to rows once.
    indexRow_ = std::move(indexedRow);
    loaded_ = true;
    ++loadCount_;
}

const unsigned char* FeatureStore::wkb(size_t row, size_t& size) const {
    size = wkbOffset_[row + 1] - wkbOffset_[row];
    return reinterpret_cast<const unsigned char*>(wkbData_.constData()) + wkbOffset_[row];
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
    const QgsAttributes& values = attributes_[row];
    if (index < 0 || index >= values.size()) {
        throw host::HostError(host::error::kInvalidArgument,
                              QStringLiteral("Field index %1 is out of range.").arg(index));
    }
    return values.at(index);
}

std::vector<uint32_t> FeatureStore::candidates(const Box& query) const {
    std::vector<uint32_t> hits;
    tree_.query(query, hits);
    for (uint32_t& h : hits) {
        h = indexRow_[h];
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

void FeatureStore::beginTransaction() {
    QgsVectorDataProvider* provider = layer_ ? layer_->dataProvider() : nullptr;
    if (!provider ||
        !(provider->capabilities() & QgsVectorDataProvider::ChangeAttributeValues)) {
        throw host::HostError(host::error::kWriteFailed,
                              QStringLiteral("Layer %1 cannot be edited.")
                                  .arg(layer_ ? layer_->name() : QString()));
    }
    if (transactionOpen_) {
        throw host::HostError(host::error::kFail,
                              QStringLiteral("An edit of layer %1 is already open.")
                                  .arg(layer_->name()));
    }
    staged_.clear();
    transactionOpen_ = true;
}

void FeatureStore::stageValue(size_t row, int index, const QVariant& value) {
    staged_[ids_[row]][index] = value;
    attributes_[row][index] = value;
}

void FeatureStore::commitTransaction() {
    transactionOpen_ = false;
    QgsChangedAttributesMap changes;
    changes.swap(staged_);
    if (changes.isEmpty() || !layer_) {
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
        for (auto f = changes.constBegin(); f != changes.constEnd() && ok; ++f) {
            for (auto a = f.value().constBegin(); a != f.value().constEnd() && ok; ++a) {
                const int li = layer_->fields().indexFromName(own.at(a.key()).name());
                ok = layer_->changeAttributeValue(f.key(), li, a.value());
            }
        }
        if (ok) {
            layer_->endEditCommand();
        } else {
            layer_->destroyEditCommand();
        }
    } else {
        QgsVectorDataProvider* provider = layer_->dataProvider();
        provider->clearErrors();
        ok = provider->changeAttributeValues(changes);
        errors = provider->errors().join(QStringLiteral("; "));
        layer_->triggerRepaint();
    }
    ownWrite_ = false;
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
    if (!staged_.isEmpty()) {
        staged_.clear();
        invalidate();  // the held values include the staged ones
    }
}

}  // namespace bramlotte::qgishost
