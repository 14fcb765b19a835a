// Numbers for distinct texts, found by content in an open-addressed table of
// (hash, number) pairs. The texts themselves stay in the caller's own list,
// which the table reads only to confirm a hash match: a lookup is one probe
// into one array, with no node to follow and none to allocate.
#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace bramlotte::support {

class TextNumbers {
  public:
    // The number of `text`, where `textOf(n)` gives the text numbered n. A
    // text not met before gets `next` (which must be new), and `added` says so.
    template <typename TextOf>
    uint32_t find(const QString& text, uint32_t next, const TextOf& textOf, bool& added) {
        if (2 * (count_ + 1) > slots_.size()) {
            grow();  // at most half full, so probes stay short
        }
        const uint32_t hash = qHash(text);
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        for (; slots_[i].used; i = (i + 1) & mask) {
            if (slots_[i].hash == hash && textOf(slots_[i].number) == text) {
                added = false;
                return slots_[i].number;
            }
        }
        slots_[i] = {hash, next, true};
        ++count_;
        added = true;
        return next;
    }
    // The number of `text`, or -1 when it has none.
    template <typename TextOf>
    int64_t lookup(const QString& text, const TextOf& textOf) const {
        if (slots_.empty()) {
            return -1;
        }
        const uint32_t hash = qHash(text);
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask; slots_[i].used; i = (i + 1) & mask) {
            if (slots_[i].hash == hash && textOf(slots_[i].number) == text) {
                return slots_[i].number;
            }
        }
        return -1;
    }

  private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t number : 31;
        uint32_t used : 1;
        Slot() : number(0), used(0) {}
        Slot(uint32_t h, uint32_t n, bool u) : hash(h), number(n), used(u) {}
    };
    void grow() {
        std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size());
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.used) {
                size_t i = slot.hash & mask;
                while (slots_[i].used) {
                    i = (i + 1) & mask;
                }
                slots_[i] = slot;
            }
        }
    }
    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}  // namespace bramlotte::support
