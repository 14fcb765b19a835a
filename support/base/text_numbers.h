// Numbers for distinct texts, found by content. The table holds (hash,
// number) pairs only; the texts stay in the caller's own list, which is read
// to confirm a hash match: a lookup is a probe or two into one array.
#pragma once

#include "support/base/open_table.h"

#include <QHash>
#include <QString>

#include <cstdint>

namespace bramlotte::support {

class TextNumbers {
  public:
    // The number of `text`, where `textOf(n)` gives the text numbered n. A
    // text not met before gets `next` (which must be new), and `added` says so.
    template <typename TextOf>
    uint32_t find(const QString& text, uint32_t next, const TextOf& textOf, bool& added) {
        const uint32_t hash = qHash(text);
        return table_
            .findOrAdd(
                hash, sameText(text, hash, textOf),
                [=] {
                    return Slot{hash, next};
                },
                added)
            .number;
    }
    // The number of `text`, or -1 when it has none.
    template <typename TextOf>
    int64_t lookup(const QString& text, const TextOf& textOf) const {
        const uint32_t hash = qHash(text);
        const Slot* slot = table_.find(hash, sameText(text, hash, textOf));
        return slot ? int64_t{slot->number} : -1;
    }

  private:
    struct Slot {
        uint32_t textHash = 0;
        uint32_t number = UINT32_MAX;  // UINT32_MAX: empty
        bool used() const { return number != UINT32_MAX; }
        uint64_t hash() const { return textHash; }
    };
    template <typename TextOf>
    static auto sameText(const QString& text, uint32_t hash, const TextOf& textOf) {
        return [&text, hash, &textOf](const Slot& s) {
            return s.textHash == hash && textOf(s.number) == text;
        };
    }
    OpenTable<Slot> table_;
};

}  // namespace bramlotte::support
