#include "index/index_map.h"

#include <algorithm>

namespace bramlotte::index {

int64_t IndexMap::positionOf(const QString& key) const {
    return positions_.lookup(key,
                             [this](uint32_t at) -> const QString& { return entries_[at].key; });
}

uint32_t IndexMap::positionFor(const QString& key) {
    bool added = false;
    const uint32_t at = positions_.find(
        key, static_cast<uint32_t>(entries_.size()),
        [this](uint32_t at) -> const QString& { return entries_[at].key; }, added);
    if (added) {
        entries_.emplace_back();
        entries_.back().key = key;
    }
    return at;
}

QString IndexMap::entryAt(int position) const {
    QString text;
    text.reserve(entrySizeAt(position));
    appendEntryAt(position, text);
    return text;
}

int IndexMap::entrySizeAt(int position) const {
    const Entry& e = entries_.at(static_cast<size_t>(position));
    int size = 0;
    for (const int n : e.items) {
        size += itemTexts_[static_cast<size_t>(n)].size();
    }
    return e.items.empty() ? 0 : size + static_cast<int>(e.items.size() - 1) * separator_.size();
}

void IndexMap::appendEntryAt(int position, QString& text) const {
    const Entry& e = entries_.at(static_cast<size_t>(position));
    for (size_t i = 0; i < e.items.size(); ++i) {
        if (i > 0) {
            text += separator_;
        }
        text += itemTexts_[static_cast<size_t>(e.items[i])];
    }
}

QStringList IndexMap::itemsAt(int position) const {
    const Entry& e = entries_.at(static_cast<size_t>(position));
    QStringList items;
    items.reserve(static_cast<int>(e.items.size()));
    for (const int n : e.items) {
        items.append(itemTexts_[static_cast<size_t>(n)]);
    }
    return items;
}

QString IndexMap::get(const QString& key) const {
    const int64_t at = positionOf(key);
    return at < 0 ? QString() : entryAt(static_cast<int>(at));
}

QStringList IndexMap::items(const QString& key) const {
    const int64_t at = positionOf(key);
    return at < 0 ? QStringList() : itemsAt(static_cast<int>(at));
}

IndexMap::Item IndexMap::item(const QString& itemText) {
    bool added = false;
    const uint32_t text = textNumbers_.find(
        itemText, static_cast<uint32_t>(itemTexts_.size()),
        [this](uint32_t n) -> const QString& { return itemTexts_[n]; }, added);
    if (added) {
        const QString folded = itemText.toCaseFolded();
        bool foldedAdded = false;
        const uint32_t number = foldedNumbers_.find(
            folded, static_cast<uint32_t>(foldedTexts_.size()),
            [this](uint32_t n) -> const QString& { return foldedTexts_[n]; }, foldedAdded);
        if (foldedAdded) {
            foldedTexts_.push_back(folded);
        }
        itemTexts_.push_back(itemText);
        foldedOf_.push_back(static_cast<int>(number));
    }
    return {static_cast<int>(text), foldedOf_[text]};
}

void IndexMap::add(const QString& key, const QString& itemText) {
    const size_t before = entries_.size();
    const uint32_t at = positionFor(key);
    if (entries_.size() > before) {
        addTo(entries_[at], item(itemText));
    }
}

void IndexMap::set(const QString& key, const QStringList& items) {
    Entry& e = entries_[positionFor(key)];
    e.items.clear();
    e.folded.clear();
    e.lastOffered = -1;
    for (const QString& text : items) {
        hold(e, item(text));  // every item as given, repeated ones too
    }
}

bool IndexMap::holds(const Entry& e, int folded) const {
    return e.folded.contains(folded, e.items.size(), [&](size_t i) { return foldedAt(e, i); });
}

void IndexMap::hold(Entry& e, const Item& item) {
    e.items.push_back(item.text);
    // (set() holds repeated items too: a repeat below the highest makes the
    // list unsorted, as any number out of order does.)
    e.folded.added(item.folded, e.items.size(), [&](size_t i) { return foldedAt(e, i); });
}

bool IndexMap::addTo(Entry& e, const Item& item) {
    if (e.lastOffered == item.folded) {
        return false;
    }
    e.lastOffered = item.folded;
    if (holds(e, item.folded)) {
        return false;
    }
    hold(e, item);
    return true;
}

bool IndexMap::addItem(const QString& key, const Item& item, int* position) {
    const uint32_t at = positionFor(key);
    if (position) {
        *position = static_cast<int>(at);
    }
    return addTo(entries_[at], item);
}

bool IndexMap::addItemAt(int position, const Item& item) {
    return addTo(entries_.at(static_cast<size_t>(position)), item);
}

}  // namespace bramlotte::index
