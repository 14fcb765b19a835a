#include "index/index_map.h"

namespace bramlotte::index {

int64_t IndexMap::positionOf(const QString& key) const {
    return positions_.lookup(key,
                             [this](uint32_t at) -> const QString& { return entries_[at].key; });
}

IndexMap::Entry& IndexMap::entryFor(const QString& key, bool& added) {
    const uint32_t at = positions_.find(
        key, static_cast<uint32_t>(entries_.size()),
        [this](uint32_t at) -> const QString& { return entries_[at].key; }, added);
    if (added) {
        entries_.push_back({key, {}, {}, {}, -1});
    }
    return entries_[at];
}

QString IndexMap::get(const QString& key) const {
    const int64_t at = positionOf(key);
    return at < 0 ? QString() : entries_[static_cast<size_t>(at)].text;
}

QStringList IndexMap::items(const QString& key) const {
    const int64_t at = positionOf(key);
    return at < 0 ? QStringList() : entries_[static_cast<size_t>(at)].items;
}

void IndexMap::add(const QString& key, const QString& itemText) {
    bool added = false;
    Entry& e = entryFor(key, added);
    if (!added) {
        return;
    }
    e.text = itemText;
    e.items = QStringList{itemText};
    e.held.insert(itemNumber(itemText.toCaseFolded()));
}

void IndexMap::set(const QString& key, const QStringList& items, const QString& separator) {
    bool added = false;
    Entry& e = entryFor(key, added);
    e.items = items;
    e.text = items.join(separator);
    e.held.clear();
    e.lastOffered = -1;
    for (const QString& item : items) {
        const int number = itemNumber(item.toCaseFolded());
        if (!e.held.contains(number)) {
            e.held.insert(number);
        }
    }
}

int IndexMap::itemNumber(const QString& foldedItem) {
    bool added = false;
    const uint32_t number = itemNumbers_.find(
        foldedItem, static_cast<uint32_t>(foldedItems_.size()),
        [this](uint32_t n) -> const QString& { return foldedItems_[n]; }, added);
    if (added) {
        foldedItems_.push_back(foldedItem);
    }
    return static_cast<int>(number);
}

bool IndexMap::addItem(const QString& key, const QString& itemText, const QString& separator) {
    return addItem(key, itemText, itemNumber(itemText.toCaseFolded()), separator);
}

bool IndexMap::addItem(const QString& key, const QString& itemText, int itemNumber,
                       const QString& separator) {
    bool added = false;
    Entry& e = entryFor(key, added);
    if (added) {
        e.text = itemText;
        e.items = QStringList{itemText};
        e.held.insert(itemNumber);
        e.lastOffered = itemNumber;
        return true;
    }
    if (e.lastOffered == itemNumber) {
        return false;
    }
    e.lastOffered = itemNumber;
    if (e.held.contains(itemNumber)) {
        return false;
    }
    e.held.insert(itemNumber);
    e.items.append(itemText);
    e.text += separator;
    e.text += itemText;
    return true;
}

}  // namespace bramlotte::index
