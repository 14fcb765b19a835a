// The index map: for every Layer #2 value (the key), the Layer #1 values that
// go with it, as an entry text and as the list of its item texts.
#pragma once

#include "index/ascending_set.h"
#include "support/base/text_numbers.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

namespace bramlotte::index {

class IndexMap {
  public:
    // An entry text is its item texts joined by `itemSeparator`.
    explicit IndexMap(QString itemSeparator = QStringLiteral(","))
        : separator_(std::move(itemSeparator)) {}

    int count() const { return static_cast<int>(entries_.size()); }
    // Keys compare exactly: case-sensitive, untrimmed.
    bool exists(const QString& key) const { return positionOf(key) >= 0; }
    // The entry text of `key`; empty text for a missing key.
    QString get(const QString& key) const;
    // The item texts of `key`, in the order they were met.
    QStringList items(const QString& key) const;
    QString key(int position) const { return entries_.at(static_cast<size_t>(position)).key; }
    QString entryAt(int position) const;
    // The entry text's length, and the text appended to `text` (a line made
    // in one piece needs no entry text of its own).
    int entrySizeAt(int position) const;
    void appendEntryAt(int position, QString& text) const;
    QStringList itemsAt(int position) const;

    // An item text numbered once, to be offered to many entries: by its text,
    // and by its case-folded text for the duplicate test.
    struct Item {
        int text = -1;
        int folded = -1;
    };
    Item item(const QString& itemText);
    const QString& itemText(const Item& item) const {
        return itemTexts_[static_cast<size_t>(item.text)];
    }

    // Adds a new key whose entry is the one item `itemText`; a no-op for an
    // existing key.
    void add(const QString& key, const QString& itemText);
    // Replaces the entry of `key` (adding the key when missing) with `items`.
    void set(const QString& key, const QStringList& items);
    // Adds the item to the entry of `key` (adding the key when missing)
    // unless the entry already holds it, compared as a whole without regard
    // to case. Returns whether it was added; `position` receives the entry's.
    bool addItem(const QString& key, const QString& itemText) {
        return addItem(key, item(itemText));
    }
    bool addItem(const QString& key, const Item& item, int* position = nullptr);
    // The same for the entry at `position`.
    bool addItemAt(int position, const Item& item);

  private:
    struct Entry {
        QString key;
        std::vector<int> items;  // numbers of the item texts, in the order met
        // The duplicate test, by case-folded number.
        AscendingSet folded;
        // The item last offered: a street of several segments on one page
        // offers the same item again right away.
        int lastOffered = -1;
    };
    // The entry of `key`, or -1.
    int64_t positionOf(const QString& key) const;
    // The position of the entry of `key`, added empty when missing.
    uint32_t positionFor(const QString& key);
    bool holds(const Entry& e, int folded) const;
    // The case-folded number of the entry's item `i`.
    int foldedAt(const Entry& e, size_t i) const {
        return foldedOf_[static_cast<size_t>(e.items[i])];
    }
    void hold(Entry& e, const Item& item);
    bool addTo(Entry& e, const Item& item);

    QString separator_;
    // A deque: a new entry never moves the ones before it (there may be
    // hundreds of thousands).
    std::deque<Entry> entries_;
    support::TextNumbers positions_;  // of entries_, by key
    // Distinct item texts, and the numbers of their case-folded forms.
    std::vector<QString> itemTexts_;
    std::vector<int> foldedOf_;
    support::TextNumbers textNumbers_;  // of itemTexts_, by text
    std::vector<QString> foldedTexts_;
    support::TextNumbers foldedNumbers_;  // of foldedTexts_, by text
};

}  // namespace bramlotte::index
