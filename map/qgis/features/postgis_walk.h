// The walk over a PostGIS layer's features (Layer #1's pages) read over
// libpq (see postgis_rows.h) on a thread of its own, a few batches ahead of
// the one who takes them, rather than through QGIS's iterator: QGIS's order,
// ids (or an int8 key's values), values of its types, and shapes, those no
// search can use too.
#pragma once

#include "map/host.h"
#include "map/qgis/reading/postgis_read.h"
#include "map/store/postgis_rows.h"

#include <qgscoordinatereferencesystem.h>

#include <QVariant>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::qgishost {

class PostGisWalk : public host::FeatureCursor {
  public:
    // The walk of `layer`'s features, its read begun; nullptr when the layer
    // must be walked through QGIS (see postGisQueryOf, openPostGisStream).
    static std::unique_ptr<PostGisWalk> open(QgsVectorLayer& layer, RowIds ids);
    ~PostGisWalk() override;
    PostGisWalk(const PostGisWalk&) = delete;
    PostGisWalk& operator=(const PostGisWalk&) = delete;

    // Throws support::Failure when the read broke off.
    std::unique_ptr<host::Feature> nextFeature() override;
    void updateFeature(host::Feature& feature) override;

  private:
    static constexpr size_t kBatch = 1024;     // rows handed over at once
    static constexpr size_t kMostBatches = 8;  // read ahead at most

    PostGisWalk(std::unique_ptr<store::PostGisStream> stream, QgsCoordinateReferenceSystem crs,
                std::vector<QVariant::Type> types);
    void read();

    std::unique_ptr<store::PostGisStream> stream_;
    QgsCoordinateReferenceSystem crs_;
    std::shared_ptr<const std::vector<QVariant::Type>> types_;  // of each field, as QGIS gives it
    std::mutex mutex_;
    std::condition_variable filled_, emptied_;
    std::deque<std::shared_ptr<const store::StoreRows>> batches_;
    bool finished_ = false, stopping_ = false;
    std::exception_ptr failure_;
    std::shared_ptr<const store::StoreRows> taking_;  // the batch features come from
    size_t next_ = 0;
    std::thread reader_;  // last: it starts once the rest is made
};

}  // namespace bramlotte::qgishost
