// Cursor over the features of a feature store that meet a spatial filter.
#pragma once

#include "map/host.h"
#include "map/qgis/reading/feature_store.h"

#include "map/search/geos_handles.h"

#include <geos_c.h>
#include <qgsgeometry.h>

#include <QPointer>

#include <optional>
#include <vector>

namespace bramlotte::qgishost {

// The box around `g`, as the searches take it.
search::Box boxOf(const QgsGeometry& g);

// True for a polygon that is exactly its own bounding box, as map pages and
// grid cells are: then a shape's box alone can decide some relationships.
bool isAxisAlignedRectangle(const QgsGeometry& g);

// The rows of `table` whose shapes meet (intersect) `rectangle`, a query
// shape that is exactly that box, in row order, as a FilteredCursor finds
// them; nullopt where a shape's box and coordinates cannot tell (GEOS must).
std::optional<std::vector<uint32_t>> rowsMeetingRectangle(const store::FeatureTable& table,
                                                          const search::Box& rectangle);

class FilteredCursor : public host::FeatureCursor {
  public:
    // A cursor that delivers nothing.
    FilteredCursor(FeatureStore& store, bool forUpdate);
    // Features whose shapes stand in relationship `code` to `query`, which
    // is in the store's CRS.
    FilteredCursor(FeatureStore& store, bool forUpdate, const QgsGeometry& query, int32_t code);
    // The features of `rows`, found beforehand (see rowsMeetingRectangle).
    FilteredCursor(FeatureStore& store, bool forUpdate, const std::vector<uint32_t>& rows);
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
    bool decided_ = false;  // every candidate is a feature to deliver
    search::Box queryBox_;
    bool queryIsRectangle_ = false;
    GEOSContextHandle_t ctx_ = nullptr;
    QgsGeometry query_;
    search::GeosGeometry geosQuery_;  // before the prepared query, which refers to it
    search::GeosPrepared prepared_;
    search::GeosReader reader_;
};

}  // namespace bramlotte::qgishost
