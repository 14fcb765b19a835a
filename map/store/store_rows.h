// The rows of one read of a feature class: ids, values, shapes as WKB and
// the boxes around them. A feature store holds them for its searches.
#pragma once

#include "map/search/box.h"
#include "map/skipped_shapes.h"
#include "map/store/value_column.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::store {

// Which fields a read keeps the values of, by field index; an empty list
// keeps every field.
using WantedFields = std::vector<bool>;
inline bool wants(const WantedFields& wanted, size_t field) {
    return wanted.empty() || (field < wanted.size() && wanted[field]);
}

struct StoreRows {
    StoreRows() = default;
    // No rows yet; a column per field, holding whole numbers inline where
    // `integerColumns` says so.
    explicit StoreRows(const std::vector<bool>& integerColumns);

    size_t count() const { return ids.size(); }
    bool hasGeometry(size_t row) const { return wkbOffset[row + 1] > wkbOffset[row]; }
    // The row's shape as WKB, `size` bytes.
    const unsigned char* wkb(size_t row, size_t& size) const {
        const size_t start = wkbOffset[row];
        size = wkbOffset[row + 1] - start;
        return start < tailWkbFrom ? wkbData.data() + start
                                   : tailWkb.data() + (start - tailWkbFrom);
    }
    // Room for `rows` rows and `wkbBytes` bytes of shapes (see large_memory.h).
    void reserve(size_t rows, size_t wkbBytes = 0);
    // Ends the row whose id and values were just added: its shape is what was
    // appended since the row before (nothing for no shape): to wkbData, or
    // through appendShapeBytes once a tail's block is held.
    void endRow(const search::FloatBox& box) {
        boxes.push_back(box);
        wkbOffset.push_back(tailWkbFrom == SIZE_MAX ? wkbData.size()
                                                    : tailWkbFrom + tailWkb.size());
    }
    // Adds every row of `tail` after these. The tail's shapes are taken over
    // where they lie, not copied: the first tail appended costs no copy of
    // its shapes, only of its row arrays.
    void append(StoreRows&& tail);
    // Adds `size` bytes of shape after the last row's, in whichever block
    // holds the end.
    void appendShapeBytes(const unsigned char* shape, size_t size);
    // Puts the rows in ascending id order.
    void sortById();

    std::vector<long long> ids;          // feature ids
    std::vector<ValueColumn> columns;    // one per field of the data source
    std::vector<unsigned char> wkbData;  // every shape as WKB, row after row
    std::vector<size_t> wkbOffset{0};    // count + 1 offsets into the shapes
    // The shapes of an appended tail, kept in their own block: offsets from
    // `tailWkbFrom` on point into it (see append).
    std::vector<unsigned char> tailWkb;
    size_t tailWkbFrom = SIZE_MAX;
    std::vector<search::FloatBox> boxes;
    // Rows held without their shapes, which could not be read or cannot be
    // searched with (see host::ShapeFault): they take part in no search.
    host::SkippedShapes skipped;
};

}  // namespace bramlotte::store
