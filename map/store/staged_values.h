// Field values written during one edit, waiting to be saved all at once.
#pragma once

#include <QVariant>

#include <map>
#include <vector>

namespace bramlotte::store {

// Values written for one source field: a value per row of the feature
// store, whether the row has one, and how many rows have one.
struct StagedColumn {
    std::vector<QVariant> values;
    std::vector<bool> written;
    size_t count = 0;
};

// The written fields, by source field index. Row r stands for the feature
// ids[r] of a list of ascending feature ids.
using StagedValues = std::map<int, StagedColumn>;

}  // namespace bramlotte::store
