// The items a feature's own entry holds (field output), for the duplicate
// test, by item number (the index map numbers each distinct case-folded
// item once). Most entries hold one or two items, kept inline (a street
// segment seldom crosses more than one page edge); the rest in a list.
// Items that came in ascending order (the pages of a walk) are found there
// by bisection; an entry with many items out of order gets a hash of them,
// so a long entry never costs a scan per item.
#pragma once

#include "index/number_set.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace bramlotte::index {

class ItemSet {
  public:
    bool contains(int item) const {
        // Pages walked in order bring ever higher numbers: a number above
        // all held needs no look into the rest, which lies elsewhere in memory.
        if (item > highest_) {
            return false;
        }
        if (first_ == item || second_ == item || highest_ == item) {
            return true;
        }
        if (!more_) {
            return false;
        }
        if (ascending_) {
            // Numbers that came in ascending order lie sorted.
            return std::binary_search(more_->all.begin(), more_->all.end(), item);
        }
        if (!more_->many.empty()) {
            return more_->many.contains(item);
        }
        return std::find(more_->all.begin(), more_->all.end(), item) != more_->all.end();
    }
    // Adds an item the set does not hold.
    void insert(int item) {
        if (item < highest_) {
            ascending_ = false;
        }
        highest_ = std::max(highest_, item);
        if (first_ < 0) {
            first_ = item;
            return;
        }
        if (second_ < 0) {
            second_ = item;
            return;
        }
        if (!more_) {
            more_ = std::make_unique<More>();
        }
        more_->all.push_back(item);
        // A hash only for many numbers out of order.
        if (ascending_ || more_->all.size() <= kFew) {
            return;
        }
        if (more_->many.empty()) {
            for (int held : more_->all) {
                more_->many.insert(held);
            }
        } else {
            more_->many.insert(item);
        }
    }
    void clear() {
        first_ = second_ = highest_ = -1;
        ascending_ = true;
        more_.reset();
    }

  private:
    static constexpr size_t kFew = 8;

    struct More {
        std::vector<int> all;  // every item after the first two, in the order added
        NumberSet many;        // the same, once there are many out of order
    };
    int first_ = -1, second_ = -1;  // the first two items, held apart from the rest
    int highest_ = -1;              // the highest item held
    bool ascending_ = true;         // every item came above those before it
    std::unique_ptr<More> more_;    // the rest, when there are any
};

}  // namespace bramlotte::index
