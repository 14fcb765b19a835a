#include "map/store/store_rows.h"

#include "map/store/large_memory.h"

#include <algorithm>
#include <numeric>

namespace bramlotte::store {

StoreRows::StoreRows(const std::vector<bool>& integerColumns) {
    columns.reserve(integerColumns.size());
    for (const bool integers : integerColumns) {
        columns.emplace_back(integers);
    }
}

void StoreRows::reserve(size_t rows, size_t wkbBytes) {
    for (ValueColumn& column : columns) {
        column.reserve(rows);
    }
    reserveLarge(ids, rows);
    reserveLarge(boxes, rows);
    reserveLarge(wkbOffset, rows + 1);
    reserveLarge(wkbData, wkbBytes);
}

void StoreRows::append(StoreRows&& tail) {
    const size_t shift = wkbOffset.back();
    const bool takeBlock = tailWkbFrom == SIZE_MAX && tail.tailWkbFrom == SIZE_MAX;
    reserve(count() + tail.count());
    ids.insert(ids.end(), tail.ids.begin(), tail.ids.end());
    for (size_t i = 0; i < columns.size(); ++i) {
        columns[i].append(std::move(tail.columns[i]));
    }
    if (takeBlock) {
        // The tail's shapes stay in their block: copying a large read's
        // shapes, into memory never touched before, took a tenth of a build.
        wkbData.resize(shift);
        tailWkb = std::move(tail.wkbData);
        tailWkbFrom = shift;
    } else {
        for (size_t row = 0; row < tail.count(); ++row) {
            size_t size = 0;
            const unsigned char* shape = tail.wkb(row, size);
            appendShapeBytes(shape, size);
        }
    }
    for (size_t row = 1; row < tail.wkbOffset.size(); ++row) {
        wkbOffset.push_back(shift + tail.wkbOffset[row]);
    }
    boxes.insert(boxes.end(), tail.boxes.begin(), tail.boxes.end());
    skipped.merge(tail.skipped);
    tail = StoreRows();
}

void StoreRows::appendShapeBytes(const unsigned char* shape, size_t size) {
    std::vector<unsigned char>& block = tailWkbFrom == SIZE_MAX ? wkbData : tailWkb;
    block.insert(block.end(), shape, shape + size);
}

void StoreRows::sortById() {
    // Sources usually deliver ascending ids already; reorder only when not.
    if (std::is_sorted(ids.begin(), ids.end())) {
        return;
    }
    std::vector<size_t> order(ids.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ids[a] < ids[b]; });
    StoreRows sorted;
    sorted.ids.reserve(order.size());
    sorted.boxes.reserve(order.size());
    sorted.wkbData.reserve(wkbData.size());
    sorted.wkbOffset.reserve(order.size() + 1);
    for (size_t row : order) {
        sorted.ids.push_back(ids[row]);
        sorted.boxes.push_back(boxes[row]);
        size_t size = 0;
        const unsigned char* shape = wkb(row, size);
        sorted.wkbData.insert(sorted.wkbData.end(), shape, shape + size);
        sorted.wkbOffset.push_back(sorted.wkbData.size());
    }
    sorted.columns = std::move(columns);
    sorted.skipped = skipped;
    for (ValueColumn& column : sorted.columns) {
        column.reorder(order);
    }
    *this = std::move(sorted);
}

}  // namespace bramlotte::store
