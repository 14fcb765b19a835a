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
        return many_.isEmpty() ? few_.contains(folded) : many_.contains(folded);
    }
    void insert(const QString& folded) {
        if (many_.isEmpty() && few_.size() < kFew) {
            few_.append(folded);
            return;
        }
        if (many_.isEmpty()) {
            many_ = QSet<QString>(few_.begin(), few_.end());
            few_.clear();
        }
        many_.insert(folded);
    }
    void clear() {
        few_.clear();
        many_.clear();
    }

  private:
    static constexpr int kFew = 8;
    QStringList few_;
    QSet<QString> many_;
};

}  // namespace bramlotte::index
