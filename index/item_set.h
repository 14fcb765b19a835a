// The items a feature's own entry holds (field output), for the duplicate
// test, by item number (the index map numbers each distinct case-folded
// item once). Most entries hold one or two items, kept inline (a street
// segment seldom crosses more than one page edge); the rest in a list.
#pragma once

#include "index/ascending_set.h"

#include <memory>
#include <vector>

namespace bramlotte::index {

class ItemSet {
  public:
    bool contains(int item) const {
        if (first_ == item || second_ == item) {
            return item >= 0;
        }
        return set_.contains(item, count(), [this](size_t i) { return at(i); });
    }
    // Adds an item the set does not hold.
    void insert(int item) {
        if (first_ < 0) {
            first_ = item;
        } else if (second_ < 0) {
            second_ = item;
        } else {
            if (!rest_) {
                rest_ = std::make_unique<std::vector<int>>();
            }
            rest_->push_back(item);
        }
        set_.added(item, count(), [this](size_t i) { return at(i); });
    }
    void clear() {
        first_ = second_ = -1;
        rest_.reset();
        set_.clear();
    }

  private:
    size_t count() const {
        return (first_ >= 0 ? 1 : 0) + (second_ >= 0 ? 1 : 0) + (rest_ ? rest_->size() : 0);
    }
    int at(size_t i) const { return i == 0 ? first_ : i == 1 ? second_ : (*rest_)[i - 2]; }

    int first_ = -1, second_ = -1;  // the first two items, held apart from the rest
    std::unique_ptr<std::vector<int>> rest_;
    AscendingSet set_;
};

}  // namespace bramlotte::index
