// The entries Layer #2 features receive in field-output mode, by feature id.
#pragma once

#include "index/item_set.h"
#include "map/host.h"

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

// The entries of every feature: by its position in its feature class where
// the host gives one (a plain table), else by its id in a hash. Ids are
// names, of any size and with any gaps: never an index.
class FeatureEntries {
  public:
    explicit FeatureEntries(long long featureCount)
        : byPosition_(static_cast<size_t>(std::max(0LL, featureCount))) {}

    // The entry of `feature`, empty at first.
    FeatureEntry& of(const host::Feature& feature) {
        const long long position = feature.position();
        if (position >= 0 && static_cast<unsigned long long>(position) < byPosition_.size()) {
            return byPosition_[static_cast<size_t>(position)];
        }
        return byId_[feature.id()];
    }

  private:
    std::vector<FeatureEntry> byPosition_;
    std::unordered_map<long long, FeatureEntry> byId_;
};

}  // namespace bramlotte::index
