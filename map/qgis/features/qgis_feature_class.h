// A feature class on QGIS: the data source of a vector layer.
#pragma once

#include "map/host.h"

#include <qgsvectorlayer.h>

#include <QPointer>

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

  private:
    QgsVectorLayer& layer() const;
    // The layer's store, found once (a search per page asks for it).
    FeatureStore& store();
    std::unique_ptr<host::FeatureCursor> open(const host::SpatialFilter& filter, bool forUpdate);

    QPointer<QgsVectorLayer> layer_;
    QPointer<FeatureStore> store_;
    mutable QString shapeField_;
};

// Dimension of the shapes a layer holds: 0, 1, 2, or -1 when unknown.
int layerDimension(const QgsVectorLayer& layer);

}  // namespace bramlotte::qgishost
