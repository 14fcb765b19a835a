#include "map/store/feature_table.h"

#include "support/base/failure.h"

#include <algorithm>

namespace bramlotte::store {

void FeatureTable::load(StoreRows rows) {
    clear();
    rows_ = std::move(rows);
    std::vector<uint32_t> shaped;  // only shapes take part in searches
    shaped.reserve(rows_.count());
    for (size_t row = 0; row < rows_.count(); ++row) {
        if (rows_.hasGeometry(row)) {
            shaped.push_back(static_cast<uint32_t>(row));
        }
    }
    tree_ = search::PackedRTree(rows_.boxes, std::move(shaped));
    // The tree keeps its own copy of the boxes, in its order.
    std::vector<search::FloatBox>().swap(rows_.boxes);
}

bool FeatureTable::holdsValuesOf(int index) const {
    return index >= 0 && static_cast<size_t>(index) < rows_.columns.size() &&
           rows_.columns[static_cast<size_t>(index)].isRead();
}

void FeatureTable::clear() {
    tree_ = search::PackedRTree();
    rows_ = StoreRows();
    staged_.clear();
}

QVariant FeatureTable::value(size_t row, int index) const {
    if (index < 0 || static_cast<size_t>(index) >= rows_.columns.size()) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Field index %1 is out of range.").arg(index));
    }
    if (!staged_.empty()) {
        const auto field = staged_.find(index);
        if (field != staged_.end() && field->second.written[row]) {
            return field->second.values[row];
        }
    }
    const ValueColumn& column = rows_.columns[static_cast<size_t>(index)];
    if (!column.isRead()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The values of field %1 were not read.").arg(index));
    }
    return column.at(row);
}

int64_t FeatureTable::valueCode(size_t row, int index) const {
    if (index < 0 || static_cast<size_t>(index) >= rows_.columns.size() ||
        staged_.count(index) > 0) {
        return -1;
    }
    return rows_.columns[static_cast<size_t>(index)].code(row);
}

std::vector<FeatureTable::Candidate> FeatureTable::candidates(const search::Box& query) const {
    std::vector<Candidate> hits;
    tree_.visit(query, [&hits](uint32_t row, const search::FloatBox& box) {
        hits.push_back({row, box});
    });
    std::sort(hits.begin(), hits.end(),
              [](const Candidate& a, const Candidate& b) { return a.row < b.row; });
    return hits;
}

void FeatureTable::stage(size_t row, int index, const QVariant& value) {
    StagedColumn& field = staged_[index];
    if (field.values.empty()) {
        field.values.resize(rowCount());
        field.written.resize(rowCount());
    }
    field.values[row] = value;
    if (!field.written[row]) {
        field.written[row] = true;
        ++field.count;
    }
}

StagedValues FeatureTable::takeStaged() {
    StagedValues taken;
    taken.swap(staged_);
    return taken;
}

void FeatureTable::takeSaved(StagedValues&& saved) {
    // A field written for most rows keeps its values as they are.
    for (auto& [field, column] : saved) {
        ValueColumn& held = rows_.columns[static_cast<size_t>(field)];
        if (!held.isRead()) {
            continue;  // a read that wants this field reads it anew
        }
        if (2 * column.count >= rowCount()) {
            held.setMany(column.written, std::move(column.values));
            continue;
        }
        for (size_t row = 0; row < column.written.size(); ++row) {
            if (column.written[row]) {
                held.set(row, column.values[row]);
            }
        }
    }
}

}  // namespace bramlotte::store
