// The index map positions of the keys met so far, by the host's code of the
// Layer #2 value they were made from (host::Feature::valueCode): a street met
// on its second page needs no value read, no text made and no key looked up.
#pragma once

#include "support/base/open_table.h"

#include <cstdint>

namespace bramlotte::index {

class KnownKeys {
    struct Slot {
        long long code = -1;  // -1: empty
        int position = -1;
        bool used() const { return code >= 0; }
        uint64_t hash() const { return static_cast<uint64_t>(code); }
    };
    struct SameCode {
        long long code;
        bool operator()(const Slot& s) const { return s.code == code; }
    };

  public:
    static constexpr int kUnknown = -1;  // a code not met yet, or no code
    static constexpr int kBlank = -2;    // a value that makes no key

    // The position remembered for `code`, or kUnknown.
    int find(long long code) const {
        if (code < 0) {
            return kUnknown;
        }
        const Slot* slot = table_.find(static_cast<uint64_t>(code), SameCode{code});
        return slot ? slot->position : kUnknown;
    }
    // Remembers `position` (or kBlank) for a code not yet remembered.
    void remember(long long code, int position) {
        if (code < 0) {
            return;
        }
        bool added = false;
        table_.findOrAdd(
            static_cast<uint64_t>(code), SameCode{code},
            [=] {
                return Slot{code, position};
            },
            added);
    }

  private:
    support::OpenTable<Slot> table_;
};

}  // namespace bramlotte::index
