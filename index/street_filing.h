// Filing under the name: a printed index in French, Italian, Spanish ...
// lists a street under its name, not under its street-type word: "Rue de la
// Paix" as "Paix (Rue de la)". The type words, particles and articles of
// each language are in index/street_types.txt, compiled into the program.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace bramlotte::index {

// The two parts of a filed key, as written in the key: "Paix", "Rue de la".
struct FiledName {
    QString name;
    QString type;
};

// The filing of one language. A key is filed when it begins, at a word
// boundary and without regard to case, with a type of the language (the
// longest one), followed by at most one particle, an article after that
// particle, or an elision joined to the next word; and something follows
// those. Spaces and no-break spaces before and after the key play no part
// in the match and stay where they are around the filed form. A key in
// decomposed form is matched and filed in its composed (NFC) form.
class StreetFiling {
  public:
    // The filing of `languageCode`: "fr", or a locale name such as
    // "fr_FR.UTF-8" or "fr-BE"; nullopt for a language without a table.
    static std::optional<StreetFiling> forLanguage(const QString& languageCode);
    // The language codes with tables, in the table file's order.
    static QStringList languages();
    // The filing of `languageCode` by the entries of `table`, a text in the
    // format of street_types.txt: to try a table of one's own. Throws
    // std::runtime_error naming the line of a malformed entry.
    static std::optional<StreetFiling> fromTable(const QString& table, const QString& languageCode);

    // The filed parts of `key`, or nullopt when it stays as it is: it does
    // not begin with a type, or it holds nothing but a type and particles.
    std::optional<FiledName> file(const QString& key) const;
    // `key` as written in the index: "Paix (Rue de la)", or `key` unchanged.
    QString filed(const QString& key) const;

  private:
    StreetFiling() = default;
    void add(const QString& text, unsigned char kind);
    int child(int node, char16_t c) const;
    std::optional<FiledName> fileComposed(const QString& key, int begin, int end) const;

    // A trie of the folded entries, one character a level; `kinds` marks the
    // node where an entry of those kinds ends.
    struct Node {
        std::vector<std::pair<char16_t, int>> next;
        unsigned char kinds = 0;
    };
    std::vector<Node> nodes_;
};

}  // namespace bramlotte::index
