// The codes of texts of one column met lately, by their UTF-8 bytes: names
// and road classes repeat, and a repeated text then needs neither a
// conversion nor a string of its own. A fixed number of slots, each holding
// the last text whose hash led there: texts that never repeat (identifiers)
// cost one hash and one comparison each, and no memory beyond the slots.
#pragma once

#include "map/store/value_column.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bramlotte::store {

class TextCodes {
  public:
    TextCodes() : slots_(kSlots) {}

    // Adds a row of the text `bytes` (UTF-8) to `column`, which codes its values.
    void add(std::string_view bytes, ValueColumn& column) {
        const size_t hash = std::hash<std::string_view>()(bytes);
        Slot& slot = slots_[hash % kSlots];
        if (slot.used && slot.hash == hash && slot.bytes == bytes) {
            column.appendCode(slot.code);
            return;
        }
        slot.code = column.appendCoded(
            QVariant(QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()))));
        slot.hash = hash;
        slot.bytes.assign(bytes);
        slot.used = true;
    }

  private:
    static constexpr size_t kSlots = 4096;
    struct Slot {
        size_t hash = 0;
        uint32_t code = 0;
        bool used = false;
        std::string bytes;
    };
    std::vector<Slot> slots_;
};

}  // namespace bramlotte::store
