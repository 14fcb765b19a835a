// Cursor over every feature a vector layer shows (its filter applied).
#pragma once

#include "map/host.h"
#include "map/qgis/reading/feature_read_ahead.h"
#include "map/qgis/reading/read_errors.h"

#include <qgsfeatureiterator.h>
#include <qgsvectorlayer.h>

#include <memory>
#include <vector>

namespace bramlotte::qgishost {

class LayerCursor : public host::FeatureCursor {
  public:
    explicit LayerCursor(QgsVectorLayer& layer);
    std::unique_ptr<host::Feature> nextFeature() override;
    void updateFeature(host::Feature& feature) override;
    host::SkippedShapes skippedShapes() const override;
    // The layer's features read ahead on a thread of their own, or nullptr
    // where they are read otherwise.
    FeatureReadAhead* readAhead() const { return ahead_.get(); }
    const QgsCoordinateReferenceSystem& crs() const { return crs_; }

  private:
    std::unique_ptr<host::FeatureCursor> walk_;  // a PostGIS table read over libpq
    QgsFeatureIterator iterator_;                // or a remote source's features
    std::unique_ptr<FeatureReadAhead> ahead_;    // or ones read ahead
    QgsCoordinateReferenceSystem crs_;
    QString layerName_;
    ReadErrors errors_;            // what the data source reported while read
    host::SkippedShapes skipped_;  // shapes the remote source could not read
    // For each field of the data source, its index in the layer's fields.
    std::shared_ptr<const std::vector<int>> layerIndex_;
};

}  // namespace bramlotte::qgishost
