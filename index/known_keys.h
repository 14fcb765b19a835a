// The index map positions of the keys met so far, by the host's code of the
// Layer #2 value they were made from (host::Feature::valueCode): a street met
// on its second page needs no value read, no text made and no key looked up.
#pragma once

#include <cstdint>
#include <vector>

namespace bramlotte::index {

class KnownKeys {
  public:
    static constexpr int kUnknown = -1;  // a code not met yet, or no code
    static constexpr int kBlank = -2;    // a value that makes no key

    // The position remembered for `code`, or kUnknown.
    int find(long long code) const {
        if (code < 0 || slots_.empty()) {
            return kUnknown;
        }
        for (size_t i = slot(code);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].code == code) {
                return slots_[i].position;
            }
            if (slots_[i].code < 0) {
                return kUnknown;
            }
        }
    }
    // Remembers `position` (or kBlank) for a code not yet remembered.
    void remember(long long code, int position) {
        if (code < 0) {
            return;
        }
        if (2 * (count_ + 1) > slots_.size()) {
            grow();
        }
        size_t i = slot(code);
        while (slots_[i].code >= 0) {
            i = (i + 1) & (slots_.size() - 1);
        }
        slots_[i] = {code, position};
        ++count_;
    }

  private:
    struct Slot {
        long long code = -1;  // -1: empty
        int position = kUnknown;
    };
    size_t slot(long long code) const {
        // Fibonacci hashing: the top bits of a multiplicative hash.
        return static_cast<size_t>((static_cast<uint64_t>(code) * 0x9E3779B97F4A7C15ULL) >> shift_);
    }
    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.resize(old.empty() ? 64 : 2 * old.size());
        shift_ = 64;
        for (size_t size = slots_.size(); size > 1; size >>= 1) {
            --shift_;
        }
        count_ = 0;
        for (const Slot& s : old) {
            if (s.code >= 0) {
                remember(s.code, s.position);
            }
        }
    }
    std::vector<Slot> slots_;
    size_t count_ = 0;
    int shift_ = 64;
};

}  // namespace bramlotte::index
