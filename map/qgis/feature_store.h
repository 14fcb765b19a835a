// One read of a vector layer held in memory for spatial searches.
//
// The store lives as a child object of its layer, so every feature class
// object made for that layer shares it, and it dies with the layer. It is
// filled on the first filtered search and dropped whenever the layer's data,
// filter or source changes; our own writes during a build update it in place.
#pragma once

#include "map/qgis/geopackage_update.h"
#include "map/qgis/packed_rtree.h"
#include "map/qgis/store_rows.h"

#include <qgsattributes.h>
#include <qgsfeatureid.h>
#include <qgsgeometry.h>
#include <qgsvectorlayer.h>

#include <QObject>
#include <QPointer>

#include <map>
#include <vector>

namespace bramlotte::qgishost {

class FeatureStore : public QObject {
    Q_OBJECT
  public:
    // The store of `layer`, created on first use.
    static FeatureStore& of(QgsVectorLayer& layer);

    QgsVectorLayer& layer() const { return *layer_; }

    // Reads the layer if it is not held yet.
    void ensureLoaded();
    // How many times the layer has been read, for tests and benchmarks.
    int loadCount() const { return loadCount_; }

    size_t rowCount() const { return rows_.count(); }
    QgsFeatureId id(size_t row) const { return rows_.ids[row]; }
    // A box that holds the row's shape (slightly larger than its exact box).
    Box box(size_t row) const { return rows_.boxes[row].widened(); }
    bool hasGeometry(size_t row) const { return rows_.hasGeometry(row); }
    const unsigned char* wkb(size_t row, size_t& size) const { return rows_.wkb(row, size); }
    QgsGeometry geometry(size_t row) const;
    // Value of the data source's field `index`.
    QVariant value(size_t row, int index) const;

    // Rows whose boxes meet `query`, in ascending feature id order.
    std::vector<uint32_t> candidates(const Box& query) const;

    // Own writes, kept until the edit transaction ends.
    bool transactionOpen() const { return transactionOpen_; }
    void beginTransaction();
    void stageValue(size_t row, int index, const QVariant& value);
    // Writes the staged values to the data source in one batch.
    void commitTransaction();
    void rollbackTransaction();

  private:
    explicit FeatureStore(QgsVectorLayer& layer);
    void invalidate();
    void load();

    QPointer<QgsVectorLayer> layer_;
    bool loaded_ = false;
    int loadCount_ = 0;
    bool transactionOpen_ = false;
    bool ownWrite_ = false;    // true while our commit signals the layer
    StagedValues staged_;      // written during the open edit, not yet saved
    bool stagedLost_ = false;  // the layer changed under the open edit

    StoreRows rows_;    // ascending ids
    PackedRTree tree_;  // over the rows' boxes
};

}  // namespace bramlotte::qgishost
