// The entries Layer #2 features receive in field-output mode, by feature id.
#pragma once

#include "index/item_set.h"

#include <QString>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace bramlotte::index {

// The items of one feature, as its field receives them.
class FeatureEntry {
  public:
    // Adds the item unless the entry holds it (whole, without regard to case).
    void add(const QString& item, int itemNumber, const QString& separator) {
        if (held_.contains(itemNumber)) {
            return;
        }
        text_ = text_.isNull() ? item : text_ + separator + item;
        held_.insert(itemNumber);
    }
    const QString& text() const { return text_; }

  private:
    QString text_;
    ItemSet held_;
};

// Feature ids are mostly numbered from 0 or 1 up to the feature count: those
// index a table directly; any other id goes to a hash.
class FeatureEntries {
  public:
    explicit FeatureEntries(long long featureCount)
        : direct_(static_cast<size_t>(std::max(0LL, featureCount)) + 1) {}

    // The entry of feature `id`, empty at first.
    FeatureEntry& operator[](long long id) {
        if (id >= 0 && static_cast<unsigned long long>(id) < direct_.size()) {
            return direct_[static_cast<size_t>(id)];
        }
        return others_[id];
    }

  private:
    std::vector<FeatureEntry> direct_;
    std::unordered_map<long long, FeatureEntry> others_;
};

}  // namespace bramlotte::index
