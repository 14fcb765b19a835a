// A feature class held in memory for spatial searches: its rows, a packed
// R-tree over their boxes, and the values written during an open edit.
#pragma once

#include "map/search/packed_rtree.h"
#include "map/store/staged_values.h"
#include "map/store/store_rows.h"

#include <cstdint>
#include <vector>

namespace bramlotte::store {

class FeatureTable {
  public:
    FeatureTable() = default;
    // The tree points into the rows: the table stays where it is made.
    FeatureTable(const FeatureTable&) = delete;
    FeatureTable& operator=(const FeatureTable&) = delete;

    // Holds `rows` (in ascending id order) and indexes their shapes.
    void load(StoreRows rows);
    // Holds nothing, and drops what was staged.
    void clear();

    size_t rowCount() const { return rows_.count(); }
    const std::vector<long long>& ids() const { return rows_.ids; }
    long long id(size_t row) const { return rows_.ids[row]; }
    // The ids name rows but are not QGIS's (see StoreRows::keyValueIds).
    bool keyValueIds() const { return rows_.keyValueIds; }
    bool hasGeometry(size_t row) const { return rows_.hasGeometry(row); }
    const unsigned char* wkb(size_t row, size_t& size) const { return rows_.wkb(row, size); }
    size_t fieldCount() const { return rows_.columns.size(); }
    // Whether the values of field `index` were read (see value).
    bool holdsValuesOf(int index) const;
    // Rows whose shapes were left out: unreadable or not usable.
    const host::SkippedShapes& skippedShapes() const { return rows_.skipped; }
    // Value of field `index`; a value staged for the row reads as staged.
    // Throws support::Failure for an index out of range or a field whose
    // values were not read.
    QVariant value(size_t row, int index) const;
    // A number only rows of the same value of the field share, or -1 (see
    // ValueColumn::code); -1 for a field with values written in the edit.
    int64_t valueCode(size_t row, int index) const;

    // A row whose box meets a query, with a box that holds its shape
    // (slightly larger than its exact box).
    struct Candidate {
        uint32_t row;
        search::FloatBox box;
    };
    // Rows whose boxes meet `query`, in ascending feature id order.
    std::vector<Candidate> candidates(const search::Box& query) const;

    void stage(size_t row, int index, const QVariant& value);
    bool hasStaged() const { return !staged_.empty(); }
    // Hands the staged values over, leaving none.
    StagedValues takeStaged();
    // The held values take `saved`, the values that were saved.
    void takeSaved(StagedValues&& saved);

  private:
    StoreRows rows_;
    search::PackedRTree tree_;
    StagedValues staged_;
};

}  // namespace bramlotte::store
