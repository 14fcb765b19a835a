#include "map/qgis/features/qgis_feature_class.h"

#include "map/qgis/features/filtered_cursor.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/features/search_ahead.h"
#include "map/qgis/reading/feature_store.h"
#include "map/search/spatial_relation.h"

#include <qgscoordinatetransform.h>
#include <qgsdatasourceuri.h>
#include <qgsvectordataprovider.h>

namespace bramlotte::qgishost {
namespace {

// Ends the store's transaction: commit on request, roll back otherwise.
class StoreTransaction : public host::EditTransaction {
  public:
    explicit StoreTransaction(FeatureStore& store) : store_(&store) { store.beginTransaction(); }
    ~StoreTransaction() override {
        if (store_ && !done_) {
            store_->rollbackTransaction();
        }
    }
    void commit() override {
        if (!store_ || done_) {
            throw support::Failure(support::error::kFail,
                                   QStringLiteral("The edit has already ended."));
        }
        done_ = true;
        store_->commitTransaction();
    }

  private:
    QPointer<FeatureStore> store_;
    bool done_ = false;
};

// The fields of `subFields` as the store marks them; none for every field.
store::WantedFields wantedFields(const std::vector<int>& subFields) {
    store::WantedFields wanted;
    for (const int field : subFields) {
        if (field < 0) {
            continue;
        }
        if (static_cast<size_t>(field) >= wanted.size()) {
            wanted.resize(static_cast<size_t>(field) + 1);
        }
        wanted[static_cast<size_t>(field)] = true;
    }
    return wanted;
}

}  // namespace

int layerDimension(const QgsVectorLayer& layer) {
    switch (layer.geometryType()) {
        case QgsWkbTypes::PointGeometry:
            return 0;
        case QgsWkbTypes::LineGeometry:
            return 1;
        case QgsWkbTypes::PolygonGeometry:
            return 2;
        default:
            return -1;
    }
}

QgisFeatureClass::QgisFeatureClass(QgsVectorLayer& layer) : layer_(&layer) {}

QgsVectorLayer& QgisFeatureClass::layer() const {
    if (!layer_ || !layer_->dataProvider()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The layer no longer exists."));
    }
    return *layer_;
}

FeatureStore& QgisFeatureClass::store() {
    if (!store_) {
        store_ = &FeatureStore::of(layer());
    }
    return *store_;
}

int QgisFeatureClass::fieldCount() const {
    return layer().dataProvider()->fields().count();
}

QString QgisFeatureClass::fieldName(int index) const {
    const QgsFields fields = layer().dataProvider()->fields();
    if (index < 0 || index >= fields.count()) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Field index %1 is out of range.").arg(index));
    }
    return fields.at(index).name();
}

int QgisFeatureClass::findField(const QString& name) const {
    const QgsFields fields = layer().dataProvider()->fields();
    for (int i = 0; i < fields.count(); ++i) {
        if (fields.at(i).name().compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QString QgisFeatureClass::shapeFieldName() const {
    // Asked once per search: parse the data source address only once.
    if (shapeField_.isEmpty()) {
        // Database sources name their geometry column in the address.
        const QString column =
            QgsDataSourceUri(layer().dataProvider()->dataSourceUri()).geometryColumn();
        shapeField_ = column.isEmpty() ? QStringLiteral("Shape") : column;
    }
    return shapeField_;
}

long long QgisFeatureClass::featureCount() const {
    return layer().featureCount();
}

std::unique_ptr<host::FeatureCursor> QgisFeatureClass::search(const host::SpatialFilter& filter) {
    return open(filter, false);
}

std::unique_ptr<host::FeatureCursor> QgisFeatureClass::update(const host::SpatialFilter& filter) {
    return open(filter, true);
}

host::SkippedShapes QgisFeatureClass::skippedShapes() const {
    return store_ ? store_->table().skippedShapes() : host::SkippedShapes();
}

std::unique_ptr<host::EditTransaction> QgisFeatureClass::beginTransaction() {
    return std::make_unique<StoreTransaction>(store());
}

std::unique_ptr<host::SearchWalk> QgisFeatureClass::searchEach(
    std::unique_ptr<host::FeatureCursor> walk, const host::SpatialFilter& filter, bool update) {
    if (std::unique_ptr<host::SearchWalk> ahead = SearchAhead::open(walk, *this, filter, update)) {
        return ahead;
    }
    return host::searchInTurn(*this, std::move(walk), filter, update);
}

std::unique_ptr<host::FeatureCursor> QgisFeatureClass::open(const host::SpatialFilter& filter,
                                                            bool forUpdate) {
    std::optional<QgsGeometry> query = queryOf(filter, forUpdate);
    if (!query) {
        return std::make_unique<FilteredCursor>(store(), forUpdate);  // matches nothing
    }
    return std::make_unique<FilteredCursor>(store(), forUpdate, *query, filter.spatialRel);
}

std::optional<QgsGeometry> QgisFeatureClass::queryOf(const host::SpatialFilter& filter,
                                                     bool forUpdate) {
    QgsVectorLayer& l = layer();
    FeatureStore& store = this->store();
    if (forUpdate && !store.transactionOpen()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("Layer %1 is not open for editing.").arg(l.name()));
    }
    auto* shape = dynamic_cast<const QgisShape*>(filter.geometry.get());
    if (filter.geometry && !shape) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("The query shape does not come from this host."));
    }
    if (!filter.geometryField.isEmpty() &&
        filter.geometryField.compare(shapeFieldName(), Qt::CaseInsensitive) != 0) {
        throw support::Failure(
            support::error::kInvalidArgument,
            QStringLiteral("Layer %1 has no shape field %2.").arg(l.name(), filter.geometryField));
    }
    if (!search::isKnownRelation(filter.spatialRel)) {
        throw support::Failure(
            support::error::kRelationUndefined,
            QStringLiteral("Unknown spatial relationship %1.").arg(filter.spatialRel));
    }
    if (!shape || shape->isEmpty() || !shape->isUsable()) {
        return std::nullopt;
    }
    QgsGeometry query = shape->geometry();
    const int queryDim = query.constGet()->dimension();
    const int searchedDim = layerDimension(l);
    if (searchedDim >= 0 && !search::relationDefined(filter.spatialRel, queryDim, searchedDim)) {
        throw support::Failure(support::error::kRelationUndefined,
                               QStringLiteral("The relationship %1 is undefined between shapes of "
                                              "dimension %2 and %3.")
                                   .arg(filter.spatialRel)
                                   .arg(queryDim)
                                   .arg(searchedDim));
    }
    if (shape->crs().isValid() && l.crs().isValid() && shape->crs() != l.crs()) {
        QgsCoordinateTransform transform(shape->crs(), l.crs(), l.transformContext());
        try {
            query.transform(transform);
        } catch (const QgsCsException& e) {
            throw support::Failure(support::error::kFail,
                                   QStringLiteral("The query shape cannot be transformed into the "
                                                  "CRS of layer %1: %2")
                                       .arg(l.name(), e.what()));
        }
    }
    loadFor(filter);
    return query;
}

void QgisFeatureClass::loadFor(const host::SpatialFilter& filter) {
    store().ensureLoaded(wantedFields(filter.subFields));
}

}  // namespace bramlotte::qgishost
