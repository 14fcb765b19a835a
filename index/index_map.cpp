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
    entries_.push_back({key, itemText, {itemText}, {}, {}});
    entries_.back().folded.insert(itemText.toCaseFolded());
}

void IndexMap::set(const QString& key, const QStringList& items, const QString& separator) {
    auto it = positions_.constFind(key);
    if (it == positions_.constEnd()) {
        it = positions_.insert(key, entries_.size());
        entries_.push_back({key, {}, {}, {}, {}});
    }
    Entry& e = entries_[it.value()];
    e.items = items;
    e.text = items.join(separator);
    e.folded.clear();
    e.lastOffered.clear();
    for (const QString& item : items) {
        e.folded.insert(item.toCaseFolded());
    }
}

bool IndexMap::addItem(const QString& key, const QString& itemText, const QString& separator) {
    return addItem(key, itemText, itemText.toCaseFolded(), separator);
}

bool IndexMap::addItem(const QString& key, const QString& itemText, const QString& folded,
                       const QString& separator) {
    auto it = positions_.constFind(key);
    if (it == positions_.constEnd()) {
        positions_.insert(key, entries_.size());
        entries_.push_back({key, itemText, {itemText}, {}, folded});
        entries_.back().folded.insert(folded);
        return true;
    }
    Entry& e = entries_[it.value()];
    if (e.lastOffered.constData() == folded.constData() && !folded.isNull()) {
        return false;  // the same shared string: held already
    }
    e.lastOffered = folded;
    if (e.folded.contains(folded)) {
        return false;
    }
    e.folded.insert(folded);
    e.items.append(itemText);
    e.text += separator;
    e.text += itemText;
    return true;
}

}  // namespace bramlotte::index
