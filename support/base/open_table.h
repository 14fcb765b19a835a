// The one hash table of the program: open addressing with linear probing in
// one array, kept at most half full, so that a lookup is a probe or two with
// no node to follow and nothing to allocate. What a slot holds is the
// caller's: a small value type whose default is an empty slot.
//
//   struct Slot {
//       bool used() const;       // false for a default-made slot
//       uint64_t hash() const;   // of what it holds, to move it when the table grows
//   };
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::support {

template <typename Slot>
class OpenTable {
  public:
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // The slot holding what `matches` accepts among the slots of `hash`, or
    // nullptr.
    template <typename Matches>
    const Slot* find(uint64_t hash, const Matches& matches) const {
        if (slots_.empty()) {
            return nullptr;
        }
        for (size_t i = home(hash);; i = (i + 1) & mask()) {
            const Slot& slot = slots_[i];
            if (!slot.used()) {
                return nullptr;
            }
            if (matches(slot)) {
                return &slot;
            }
        }
    }

    // The slot holding what `matches` accepts among the slots of `hash`; when
    // there is none, `make()` is put in an empty one and `added` is set. The
    // slot stays where it is until the next insertion.
    template <typename Matches, typename Make>
    Slot& findOrAdd(uint64_t hash, const Matches& matches, const Make& make, bool& added) {
        if (2 * (count_ + 1) > slots_.size()) {
            grow();
        }
        size_t i = home(hash);
        for (; slots_[i].used(); i = (i + 1) & mask()) {
            if (matches(slots_[i])) {
                added = false;
                return slots_[i];
            }
        }
        slots_[i] = make();
        ++count_;
        added = true;
        return slots_[i];
    }

  private:
    // Fibonacci hashing: the top bits of a multiplicative hash, so that
    // numbers in a row spread over the table.
    size_t home(uint64_t hash) const {
        return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ULL) >> shift_);
    }
    size_t mask() const { return slots_.size() - 1; }
    void grow() {
        std::vector<Slot> old(slots_.empty() ? 32 : 2 * slots_.size());
        old.swap(slots_);
        shift_ = 64;
        for (size_t size = slots_.size(); size > 1; size >>= 1) {
            --shift_;
        }
        for (const Slot& slot : old) {
            if (slot.used()) {
                size_t i = home(slot.hash());
                while (slots_[i].used()) {
                    i = (i + 1) & mask();
                }
                slots_[i] = slot;
            }
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
    int shift_ = 64;
};

}  // namespace bramlotte::support
