#include "map/store/store_rows.h"

#include <algorithm>

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
    ids.reserve(rows);
    boxes.reserve(rows);
    wkbOffset.reserve(rows + 1);
    wkbData.reserve(wkbBytes);
}

void StoreRows::holdSpans() {
    if (!shapeStarts.empty() || count() == 0) {
        return;
    }
    shapeStarts.assign(wkbOffset.begin(), wkbOffset.end() - 1);
    shapeEnds.assign(wkbOffset.begin() + 1, wkbOffset.end());
}

void StoreRows::append(StoreRows&& tail, bool takeShapes) {
    const size_t shift = wkbOffset.back();
    const bool takeBlock = takeShapes && tailWkbFrom == SIZE_MAX && tail.tailWkbFrom == SIZE_MAX;
    // Copied row by row, a tail's shapes come in row order whatever order
    // they lay in; only shapes left where they lie need spans.
    const bool spans = !shapeStarts.empty() || (takeBlock && !tail.shapeStarts.empty());
    if (spans) {
        holdSpans();
        if (takeBlock) {
            tail.holdSpans();
        }
    }
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
        for (size_t row = 1; row < tail.wkbOffset.size(); ++row) {
            wkbOffset.push_back(shift + tail.wkbOffset[row]);
        }
        for (size_t row = 0; spans && row < tail.count(); ++row) {
            shapeStarts.push_back(shift + tail.shapeStarts[row]);
            shapeEnds.push_back(shift + tail.shapeEnds[row]);
        }
    } else {
        for (size_t row = 0; row < tail.count(); ++row) {
            const size_t start = wkbOffset.back();
            size_t size = 0;
            const unsigned char* shape = tail.wkb(row, size);
            appendShapeBytes(shape, size);
            wkbOffset.push_back(start + size);
            if (spans) {
                shapeStarts.push_back(start);
                shapeEnds.push_back(start + size);
            }
        }
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
    // Ids with their rows: the sort then reads no other array, and rows of
    // one id keep their order.
    std::vector<std::pair<long long, size_t>> keyed(ids.size());
    for (size_t row = 0; row < ids.size(); ++row) {
        keyed[row] = {ids[row], row};
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<size_t> order(ids.size());
    std::vector<long long> sortedIds(ids.size());
    std::vector<search::FloatBox> sortedBoxes(boxes.size());
    std::vector<size_t> starts(ids.size()), ends(ids.size());
    for (size_t i = 0; i < keyed.size(); ++i) {
        const size_t row = keyed[i].second;
        order[i] = row;
        sortedIds[i] = keyed[i].first;
        if (row < boxes.size()) {
            sortedBoxes[i] = boxes[row];
        }
        starts[i] = shapeStart(row);
        ends[i] = shapeEnd(row);
    }
    ids.swap(sortedIds);
    boxes.swap(sortedBoxes);
    shapeStarts.swap(starts);
    shapeEnds.swap(ends);
    for (ValueColumn& column : columns) {
        column.reorder(order);
    }
}

}  // namespace bramlotte::store
