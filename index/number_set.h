// A set of non-negative numbers in one open-addressed table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::index {

// Non-negative numbers in one open-addressed table: a lookup is a probe
// or two in one array, with no node to follow.
class NumberSet {
  public:
    bool empty() const { return count_ == 0; }
    bool contains(int n) const {
        for (size_t i = slot(n);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == n) {
                return true;
            }
            if (slots_[i] < 0) {
                return false;
            }
        }
    }
    void insert(int n) {
        if (2 * (count_ + 1) > slots_.size()) {
            grow();
        }
        size_t i = slot(n);
        while (slots_[i] >= 0 && slots_[i] != n) {
            i = (i + 1) & (slots_.size() - 1);
        }
        count_ += slots_[i] < 0 ? 1 : 0;
        slots_[i] = n;
    }

  private:
    size_t slot(int n) const {
        // Fibonacci hashing: the top bits of a multiplicative hash.
        return static_cast<size_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(n)) * 0x9E3779B97F4A7C15ULL) >> shift_);
    }
    void grow() {
        std::vector<int> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 32 : 2 * old.size(), -1);
        shift_ = 64;
        for (size_t size = slots_.size(); size > 1; size >>= 1) {
            --shift_;
        }
        count_ = 0;
        for (int n : old) {
            if (n >= 0) {
                insert(n);
            }
        }
    }
    std::vector<int> slots_;  // -1: empty
    size_t count_ = 0;
    int shift_ = 64;
};

}  // namespace bramlotte::index
