// The order in which the index lists its lines: the user's collation,
// without regard to case, on ICU.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct UCollator;

namespace bramlotte::index {

// The locale the user has chosen for collation, read the way the C library
// reads it: LC_ALL, else LC_COLLATE, else LANG; "C" when none is set.
QString collationLocaleName();

// How the collation compares beyond the locale's own rules.
struct CollationOptions {
    // Digits compare as numbers: "Rue 2" before "Rue 10", "2nd Street"
    // before "10th Street".
    bool numeric = false;
};

// A case-insensitive collator for the language of a locale name such as
// "fi_FI.UTF-8". A name without a language (C, POSIX, C.UTF-8, empty or
// unknown) gets the Unicode root collation, the order of every language
// without rules of its own.
class Collator {
  public:
    explicit Collator(const QString& localeName, CollationOptions options = {});
    // A key whose byte order is the collation order of `text`: lines are
    // sorted by their keys, one key per line.
    QByteArray sortKey(const QString& text) const;
    // The same key appended to `keys`: many keys in one block, without an
    // allocation each.
    void appendSortKey(const QString& text, std::vector<unsigned char>& keys) const;
    // The order of two texts whose sort keys are equal (they differ at most
    // in case): by the collation's case order (its tertiary strength;
    // lowercase first where the locale has no rule of its own), then by code
    // point. Negative, zero (the same text) or positive.
    int compareTies(const QString& a, const QString& b) const;
    // The letter `text` is listed under, as a heading shows it: its first
    // letter in capitals, without the accents the collation sets no store by
    // ("É" under "E"), with those it treats as letters of their own (Finnish
    // "Ä" after "Z"), and under the letter it counts one as (Finnish "Ü" under
    // "Y"). Digits fall under "0-9"; another first character under itself;
    // an empty text under nothing.
    QString headingLetter(const QString& text) const;

  private:
    struct Close {
        void operator()(UCollator* collator) const;
    };
    std::unique_ptr<UCollator, Close> collator_;  // secondary strength: the sort keys
    std::unique_ptr<UCollator, Close> cases_;     // tertiary strength: ties
    std::unique_ptr<UCollator, Close> letters_;   // primary strength: base letters only
};

}  // namespace bramlotte::index
