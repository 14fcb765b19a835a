// The case-folded items an entry holds, for the duplicate test. Most entries
// hold a few items: those are compared in a short list; an entry with many
// gets a hash of them, so a long entry never costs a scan per item.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace bramlotte::index {

class ItemSet {
  public:
    bool contains(const QString& folded) const {
        if (!many_.isEmpty()) {
            return many_.contains(folded);
        }
        return (hasFirst_ && first_ == folded) || few_.contains(folded);
    }
    void insert(const QString& folded) {
        if (many_.isEmpty() && !hasFirst_) {
            first_ = folded;  // most entries hold one item: no list for it
            hasFirst_ = true;
            return;
        }
        if (many_.isEmpty() && few_.size() < kFew) {
            few_.append(folded);
            return;
        }
        if (many_.isEmpty()) {
            many_ = QSet<QString>(few_.begin(), few_.end());
            many_.insert(first_);
            few_.clear();
            first_.clear();
            hasFirst_ = false;
        }
        many_.insert(folded);
    }
    void clear() {
        first_.clear();
        hasFirst_ = false;
        few_.clear();
        many_.clear();
    }

  private:
    static constexpr int kFew = 8;
    QString first_;
    bool hasFirst_ = false;
    QStringList few_;
    QSet<QString> many_;
};

}  // namespace bramlotte::index
