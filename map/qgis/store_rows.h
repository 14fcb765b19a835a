// The rows of one read of a vector layer: ids, values, shapes as WKB and
// the boxes around them. A feature store holds them for its searches.
#pragma once

#include "map/qgis/packed_rtree.h"
#include "map/qgis/value_column.h"

#include <qgsattributes.h>
#include <qgsfeature.h>
#include <qgsfeatureid.h>
#include <qgsfields.h>

#include <optional>
#include <vector>

class QgsVectorLayer;

namespace bramlotte::qgishost {

struct StoreRows {
    StoreRows() = default;
    // No rows yet, a column for each of `fields`.
    explicit StoreRows(const QgsFields& fields);

    size_t count() const { return ids.size(); }
    bool hasGeometry(size_t row) const { return wkbOffset[row + 1] > wkbOffset[row]; }
    // The row's shape as WKB, `size` bytes.
    const unsigned char* wkb(size_t row, size_t& size) const {
        size = wkbOffset[row + 1] - wkbOffset[row];
        return wkbData.data() + wkbOffset[row];
    }
    void reserve(size_t rows);
    // Adds feature `f`, column i taking its attribute `attributeOf[i]`.
    void add(const QgsFeature& f, const QgsAttributeList& attributeOf);
    // Adds every row of `tail` after these.
    void append(StoreRows&& tail);
    // Puts the rows in ascending id order.
    void sortById();

    std::vector<QgsFeatureId> ids;
    std::vector<ValueColumn> columns;    // one per field of the data source
    std::vector<unsigned char> wkbData;  // every shape as WKB, row after row
    std::vector<size_t> wkbOffset{0};    // count + 1 offsets into wkbData
    std::vector<FloatBox> boxes;
};

// For each field of `layer`'s data source, its index in the layer's fields
// (-1 where the layer does not show it).
QgsAttributeList ownFieldIndexes(const QgsVectorLayer& layer);

// Every feature of `layer`, with the data source's own fields, in ascending
// id order: by readHalves where it can, else in one read.
StoreRows readRows(QgsVectorLayer& layer, size_t splitFrom = 10000);

// The rows of a GeoPackage table of at least `splitFrom` features read as
// two halves by id, on two threads at once; nullopt when the layer is not
// such a table as saved (being edited, or in a transaction) or a half cannot
// be handed whole to the data source (each would then read every feature).
std::optional<StoreRows> readHalves(QgsVectorLayer& layer, size_t splitFrom);

}  // namespace bramlotte::qgishost
