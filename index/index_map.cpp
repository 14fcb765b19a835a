#include "index/index_map.h"

namespace bramlotte::index {

QString IndexMap::get(const QString& key) const {
    auto it = positions_.constFind(key);
    return it == positions_.constEnd() ? QString() : entries_[it.value()].text;
}

QStringList IndexMap::items(const QString& key) const {
    auto it = positions_.constFind(key);
    return it == positions_.constEnd() ? QStringList() : entries_[it.value()].items;
}

void IndexMap::add(const QString& key, const QString& itemText) {
    if (positions_.contains(key)) {
        return;
    }
    positions_.insert(key, entries_.size());
    entries_.push_back({key, itemText, {itemText}, {}, -1});
    entries_.back().held.insert(itemNumber(itemText.toCaseFolded()));
}

void IndexMap::set(const QString& key, const QStringList& items, const QString& separator) {
    auto it = positions_.constFind(key);
    if (it == positions_.constEnd()) {
        it = positions_.insert(key, entries_.size());
        entries_.push_back({key, {}, {}, {}, -1});
    }
    Entry& e = entries_[it.value()];
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
    auto it = itemNumbers_.constFind(foldedItem);
    if (it == itemNumbers_.constEnd()) {
        it = itemNumbers_.insert(foldedItem, itemNumbers_.size());
    }
    return it.value();
}

bool IndexMap::addItem(const QString& key, const QString& itemText, const QString& separator) {
    return addItem(key, itemText, itemNumber(itemText.toCaseFolded()), separator);
}

bool IndexMap::addItem(const QString& key, const QString& itemText, int itemNumber,
                       const QString& separator) {
    auto it = positions_.constFind(key);
    if (it == positions_.constEnd()) {
        positions_.insert(key, entries_.size());
        entries_.push_back({key, itemText, {itemText}, {}, itemNumber});
        entries_.back().held.insert(itemNumber);
        return true;
    }
    Entry& e = entries_[it.value()];
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
