// Cursor over the features of a feature store that meet a spatial filter.
#pragma once

#include "map/host.h"
#include "map/qgis/reading/feature_store.h"

#include "map/search/geos_handles.h"

#include <geos_c.h>
#include <qgsgeometry.h>

#include <QPointer>

#include <vector>

namespace bramlotte::qgishost {

class FilteredCursor : public host::FeatureCursor {
  public:
    // A cursor that delivers nothing.
    FilteredCursor(FeatureStore& store, bool forUpdate);
    // Features whose shapes stand in relationship `code` to `query`, which
    // is in the store's CRS.
    FilteredCursor(FeatureStore& store, bool forUpdate, const QgsGeometry& query, int32_t code);
    FilteredCursor(const FilteredCursor&) = delete;
    FilteredCursor& operator=(const FilteredCursor&) = delete;

    std::unique_ptr<host::Feature> nextFeature() override;
    void updateFeature(host::Feature& feature) override;

  private:
    FeatureStore& store() const;
    bool matches(const store::FeatureTable::Candidate& candidate);
    void prepare();  // makes the GEOS query

    QPointer<FeatureStore> store_;
    bool forUpdate_;
    int32_t code_ = 0;
    std::vector<store::FeatureTable::Candidate> candidates_;
    size_t next_ = 0;
    search::Box queryBox_;
    bool queryIsRectangle_ = false;
    GEOSContextHandle_t ctx_ = nullptr;
    QgsGeometry query_;
    search::GeosGeometry geosQuery_;  // before the prepared query, which refers to it
    search::GeosPrepared prepared_;
    search::GeosReader reader_;
};

}  // namespace bramlotte::qgishost
