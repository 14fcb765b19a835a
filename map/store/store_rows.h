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
    bool hasGeometry(size_t row) const { return shapeEnd(row) > shapeStart(row); }
    // The row's shape as WKB, `size` bytes.
    const unsigned char* wkb(size_t row, size_t& size) const {
        const size_t start = shapeStart(row);
        size = shapeEnd(row) - start;
        return start < tailWkbFrom ? wkbData.data() + start
                                   : tailWkb.data() + (start - tailWkbFrom);
    }
    // Room for `rows` rows and `wkbBytes` bytes of shapes, reserved whole: a
    // read grown step by step copies its arrays into fresh memory again and
    // again, and a reservation larger than needed costs address space only.
    // Ordinary pages: on a virtual machine whose host takes free memory back,
    // huge ones cost more to fill than they save (bench/README.md).
    void reserve(size_t rows, size_t wkbBytes = 0);
    // Ends the row whose id and values were just added: its shape is what was
    // appended since the row before (nothing for no shape): to wkbData, or
    // through appendShapeBytes once a tail's block is held.
    void endRow(const search::FloatBox& box) {
        boxes.push_back(box);
        const size_t end = tailWkbFrom == SIZE_MAX ? wkbData.size() : tailWkbFrom + tailWkb.size();
        if (!shapeStarts.empty()) {
            shapeStarts.push_back(wkbOffset.back());
            shapeEnds.push_back(end);
        }
        wkbOffset.push_back(end);
    }
    // Adds every row of `tail` after these. The tail's shapes are taken over
    // where they lie, not copied: the first tail appended costs no copy of
    // its shapes, only of its row arrays. A small tail is better copied
    // (`takeShapes` false), leaving the block for a large one after it.
    void append(StoreRows&& tail, bool takeShapes = true);
    // Adds `size` bytes of shape after the last row's, in whichever block
    // holds the end.
    void appendShapeBytes(const unsigned char* shape, size_t size);
    // Puts the rows in ascending id order (rows of one id in the order they
    // came). Their shapes stay where they lie.
    void sortById();

    std::vector<long long> ids;  // feature ids
    // The ids are a wide key's own values (see PostGisQuery::wideKey), not
    // the numbers QGIS gives the features: they name rows, but no write or
    // selection in QGIS may go by them.
    bool keyValueIds = false;
    std::vector<ValueColumn> columns;    // one per field of the data source
    std::vector<unsigned char> wkbData;  // every shape as WKB, row after row
    // count + 1 offsets into the shapes, in the order the rows came; the
    // last is where the next shape goes.
    std::vector<size_t> wkbOffset{0};
    // Once sortById has reordered the rows, row r's shape lies at
    // [shapeStarts[r], shapeEnds[r]), where it was read: a large read's
    // shapes are not copied to put them in order. Empty while the rows lie
    // in the order they came.
    std::vector<size_t> shapeStarts, shapeEnds;
    // The shapes of an appended tail, kept in their own block: offsets from
    // `tailWkbFrom` on point into it (see append).
    std::vector<unsigned char> tailWkb;
    size_t tailWkbFrom = SIZE_MAX;
    std::vector<search::FloatBox> boxes;
    // Rows held without their shapes, which could not be read or cannot be
    // searched with (see host::ShapeFault): they take part in no search.
    host::SkippedShapes skipped;

  private:
    size_t shapeStart(size_t row) const {
        return shapeStarts.empty() ? wkbOffset[row] : shapeStarts[row];
    }
    size_t shapeEnd(size_t row) const {
        return shapeStarts.empty() ? wkbOffset[row + 1] : shapeEnds[row];
    }
    // Gives every row its own shape span (see shapeStarts).
    void holdSpans();
};

}  // namespace bramlotte::store
