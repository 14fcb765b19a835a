// The duplicate test of an entry: which numbers (case-folded item numbers)
// it holds, for a list of them the caller keeps in the order they came.
// Pages walked in order bring ever higher numbers, so a number above the
// highest is new at once; while every number came above the ones before,
// the list is sorted and bisected; once one came out of order, a short list
// is scanned and a longer one gets a hash of its numbers.
#pragma once

#include "support/base/open_table.h"

#include <algorithm>
#include <cstddef>
#include <memory>

namespace bramlotte::index {

class AscendingSet {
  public:
    // Whether `n` is among the `count` numbers `at(0)` … `at(count - 1)`.
    template <typename At>
    bool contains(int n, size_t count, const At& at) const {
        if (n > highest_) {
            return false;
        }
        if (n == highest_) {
            return true;
        }
        if (ascending_) {
            size_t low = 0, high = count;  // the first at or above n
            while (low < high) {
                const size_t middle = low + (high - low) / 2;
                (at(middle) < n ? low = middle + 1 : high = middle);
            }
            return low < count && at(low) == n;
        }
        if (many_) {
            return many_->find(slotHash(n), [n](const Slot& s) { return s.n == n; }) != nullptr;
        }
        for (size_t i = 0; i < count; ++i) {
            if (at(i) == n) {
                return true;
            }
        }
        return false;
    }
    // Takes note that `n` came as the last of `count` numbers (`at` as
    // above).
    template <typename At>
    void added(int n, size_t count, const At& at) {
        if (n < highest_) {
            ascending_ = false;
        }
        highest_ = std::max(highest_, n);
        if (ascending_ || count <= kFew) {
            return;
        }
        if (!many_) {
            many_ = std::make_unique<support::OpenTable<Slot>>();
            for (size_t i = 0; i + 1 < count; ++i) {
                hold(at(i));
            }
        }
        hold(n);
    }
    void clear() {
        highest_ = -1;
        ascending_ = true;
        many_.reset();
    }

  private:
    static constexpr size_t kFew = 8;  // out of order, but few enough to scan

    struct Slot {
        int n = -1;
        bool used() const { return n >= 0; }
        uint64_t hash() const { return slotHash(n); }
    };
    static uint64_t slotHash(int n) { return static_cast<uint32_t>(n); }
    void hold(int n) {
        bool added = false;
        many_->findOrAdd(
            slotHash(n), [n](const Slot& s) { return s.n == n; }, [n] { return Slot{n}; }, added);
    }

    int highest_ = -1;
    bool ascending_ = true;
    std::unique_ptr<support::OpenTable<Slot>> many_;
};

}  // namespace bramlotte::index
