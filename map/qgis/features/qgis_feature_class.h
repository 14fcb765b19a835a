// A feature class on QGIS: the data source of a vector layer.
#pragma once

#include "map/host.h"

#include <qgsgeometry.h>
#include <qgsvectorlayer.h>

#include <QPointer>

#include <optional>

namespace bramlotte::qgishost {

class FeatureStore;

class QgisFeatureClass : public host::FeatureClass {
  public:
    explicit QgisFeatureClass(QgsVectorLayer& layer);

    int fieldCount() const override;
    QString fieldName(int index) const override;
    int findField(const QString& name) const override;
    QString shapeFieldName() const override;
    long long featureCount() const override;
    std::unique_ptr<host::FeatureCursor> search(const host::SpatialFilter& filter) override;
    std::unique_ptr<host::FeatureCursor> update(const host::SpatialFilter& filter) override;
    std::unique_ptr<host::EditTransaction> beginTransaction() override;
    host::SkippedShapes skippedShapes() const override;
    // Searched ahead on the walk's reading thread where it can be (see
    // SearchAhead), else in turn.
    std::unique_ptr<host::SearchWalk> searchEach(std::unique_ptr<host::FeatureCursor> walk,
                                                 const host::SpatialFilter& filter,
                                                 bool update) override;

    QgsVectorLayer& layer() const;
    // The layer's store, found once (a search per page asks for it).
    FeatureStore& store();
    // The query shape of a search (an update where `forUpdate`) by
    // `filter`, in the layer's CRS, with the store loaded for it; nullopt
    // for a search that meets nothing. Throws what such a search throws.
    std::optional<QgsGeometry> queryOf(const host::SpatialFilter& filter, bool forUpdate);
    // Whether the store holds what a search by `filter` reads.
    void loadFor(const host::SpatialFilter& filter);

  private:
    std::unique_ptr<host::FeatureCursor> open(const host::SpatialFilter& filter, bool forUpdate);

    QPointer<QgsVectorLayer> layer_;
    QPointer<FeatureStore> store_;
    mutable QString shapeField_;
};

// Dimension of the shapes a layer holds: 0, 1, 2, or -1 when unknown.
int layerDimension(const QgsVectorLayer& layer);

}  // namespace bramlotte::qgishost
