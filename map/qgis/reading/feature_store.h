// One read of a vector layer held in memory for spatial searches.
//
// The store lives as a child object of its layer, so every feature class
// object made for that layer shares it, and it dies with the layer. It is
// filled on the first filtered search and dropped whenever the layer's data,
// filter or source changes; our own writes during a build update it in place.
#pragma once

#include "map/qgis/reading/postgis_read.h"
#include "map/store/feature_table.h"

#include <qgsgeometry.h>
#include <qgsvectorlayer.h>

#include <QObject>
#include <QPointer>

#include <memory>
#include <shared_mutex>

namespace bramlotte::qgishost {

// The rows of a store as a search on another thread reads them: held open
// (`table` set) from a load until the store drops or reads them anew, which
// waits for the searches under way. A search holds `mutex` shared.
struct StoreGate {
    std::shared_mutex mutex;
    const store::FeatureTable* table = nullptr;
    int loadCount = 0;  // the store's loadCount for `table`
};

class FeatureStore : public QObject {
    Q_OBJECT
  public:
    ~FeatureStore() override;
    // The store of `layer`, created on first use.
    static FeatureStore& of(QgsVectorLayer& layer);

    QgsVectorLayer& layer() const { return *layer_; }

    // Reads the layer if it is not held yet, or reads it anew when the
    // values of a `wanted` field are not held, or its ids are not the ones
    // rowIds asks for.
    void ensureLoaded(const store::WantedFields& wanted = {});
    // The ids the rows must carry: QGIS's own while an edit goes into the
    // layer's edit buffer or transaction group, or a choice of features
    // holds them (see QgisIdsHold); else any that name the features (an int8
    // key's values, which read without QGIS's map and save over libpq).
    RowIds rowIds() const;
    // How many times the layer has been read, for tests and benchmarks.
    int loadCount() const { return loadCount_; }
    // The rows for searches on other threads.
    std::shared_ptr<StoreGate> gate() const { return gate_; }

    // The rows held, with the values written during the open edit.
    const store::FeatureTable& table() const { return table_; }
    QgsGeometry geometry(size_t row) const;

    // Own writes, kept until the edit transaction ends.
    bool transactionOpen() const { return transactionOpen_; }
    void beginTransaction();
    void stageValue(size_t row, int index, const QVariant& value);
    // Writes the staged values to the data source in one batch.
    void commitTransaction();
    void rollbackTransaction();

  private:
    friend class QgisIdsHold;
    explicit FeatureStore(QgsVectorLayer& layer);
    void invalidate();
    void load(const store::WantedFields& wanted);

    QPointer<QgsVectorLayer> layer_;
    bool loaded_ = false;
    int loadCount_ = 0;
    bool transactionOpen_ = false;
    bool ownWrite_ = false;    // true while our commit signals the layer
    bool stagedLost_ = false;  // the layer changed under the open edit
    int qgisIdHolds_ = 0;
    store::FeatureTable table_;
    std::shared_ptr<StoreGate> gate_ = std::make_shared<StoreGate>();
};

// While it lives, the rows of its layer's store carry QGIS's own ids: for
// a choice of features made by those ids (a selection, say).
class QgisIdsHold {
  public:
    explicit QgisIdsHold(QgsVectorLayer& layer);
    ~QgisIdsHold();
    QgisIdsHold(const QgisIdsHold&) = delete;
    QgisIdsHold& operator=(const QgisIdsHold&) = delete;

  private:
    QPointer<FeatureStore> store_;
};

}  // namespace bramlotte::qgishost
