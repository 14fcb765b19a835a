// The order in which the index lists its lines: the user's collation,
// without regard to case, on ICU; and the letter headings of that order.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    // The heading `text` is listed under (see HeadingLetters), for one text;
    // a run of lines asks one HeadingLetters for all of them.
    QString headingLetter(const QString& text) const;

  private:
    struct Close {
        void operator()(UCollator* collator) const;
    };
    QString localeName_;
    CollationOptions options_;
    std::unique_ptr<UCollator, Close> collator_;  // secondary strength: the sort keys
    std::unique_ptr<UCollator, Close> cases_;     // tertiary strength: ties
};

// The letter headings of the index in the collation of a locale, from ICU's
// alphabetic index of it: the locale's own index letters and case ("İ" and
// "I" in Turkish; Finnish "Å", "Ä", "Ö" after "Z"; Finnish "Ü" under "Y";
// "É" under "E" where the locale holds them one letter; Spanish "Ñ").
// Texts starting with a digit fall under "0-9". Texts in a script the
// locale's letters do not cover (Greek or Cyrillic names in a French index)
// fall under the index letters of that script's main language, after the
// locale's own. Punctuation, symbols and letters of scripts without index
// letters stand under their first character; a text starting with a space,
// and an empty one, under nothing.
//
// Headings follow the order: along lines sorted by a Collator of the same
// locale and options, a heading changes only to one not met before.
class HeadingLetters {
  public:
    // `texts` are the lines to be headed: their scripts choose the index
    // letters added beyond the locale's.
    HeadingLetters(const QString& localeName, const QStringList& texts,
                   CollationOptions options = {});
    ~HeadingLetters();
    HeadingLetters(const HeadingLetters&) = delete;
    HeadingLetters& operator=(const HeadingLetters&) = delete;

    // The heading of `text`; empty for none.
    QString of(const QString& text) const;
    // Whether two headings head the same group: equal, or one character in
    // two forms the collation does not tell apart.
    bool same(const QString& a, const QString& b) const;

  private:
    struct Index;
    std::unique_ptr<Index> index_;
};

}  // namespace bramlotte::index
