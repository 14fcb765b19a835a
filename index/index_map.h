// The index map: for every Layer #2 value (the key), the Layer #1 values that
// go with it, as an entry text and as the list of its item texts.
#pragma once

#include "index/item_set.h"
#include "support/text_numbers.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace bramlotte::index {

class IndexMap {
  public:
    int count() const { return static_cast<int>(entries_.size()); }
    // Keys compare exactly: case-sensitive, untrimmed.
    bool exists(const QString& key) const { return positionOf(key) >= 0; }
    // The entry text of `key`; empty text for a missing key.
    QString get(const QString& key) const;
    // The item texts of `key`, in the order they were met.
    QStringList items(const QString& key) const;
    QString key(int position) const { return entries_.at(static_cast<size_t>(position)).key; }
    const QString& entryAt(int position) const {
        return entries_.at(static_cast<size_t>(position)).text;
    }
    const QStringList& itemsAt(int position) const {
        return entries_.at(static_cast<size_t>(position)).items;
    }

    // Adds a new key whose entry is the one item `itemText`; a no-op for an
    // existing key.
    void add(const QString& key, const QString& itemText);
    // Replaces the entry of `key` (adding the key when missing) with `items`
    // joined by `separator`.
    void set(const QString& key, const QStringList& items, const QString& separator);
    // Adds `itemText` to the entry of `key` unless the entry already holds
    // that item, compared as a whole without regard to case. Returns whether
    // it was added.
    bool addItem(const QString& key, const QString& itemText, const QString& separator);
    // The same, with the item's number (itemNumber of its case-folded text)
    // already at hand.
    bool addItem(const QString& key, const QString& itemText, int itemNumber,
                 const QString& separator);
    // The number of a case-folded item text: equal texts, equal numbers.
    int itemNumber(const QString& foldedItem);

  private:
    struct Entry {
        QString key;
        QString text;
        QStringList items;
        ItemSet held;  // item numbers, for the duplicate test
        // The item last offered: a street of several segments on one page
        // offers the same item again right away.
        int lastOffered = -1;
    };
    // The entry of `key`, or -1.
    int64_t positionOf(const QString& key) const;
    // The entry of `key`, added empty when missing.
    Entry& entryFor(const QString& key, bool& added);

    // A deque: a new entry never moves the ones before it (there may be
    // hundreds of thousands).
    std::deque<Entry> entries_;
    support::TextNumbers positions_;  // of entries_, by key
    std::vector<QString> foldedItems_;
    support::TextNumbers itemNumbers_;  // of foldedItems_, by text
};

}  // namespace bramlotte::index
