#include "index/street_filing.h"

#include <QFile>

#include <stdexcept>

// The table is a resource of this static library: registered by name, as a
// library's resources must be, outside any namespace. Registering twice is
// harmless.
static void registerStreetTypes() {
    Q_INIT_RESOURCE(street_types);
}

namespace bramlotte::index {
namespace {

constexpr unsigned char kType = 1;
constexpr unsigned char kParticle = 2;
constexpr unsigned char kArticle = 4;

bool isSpace(QChar c) {
    return c.unicode() == u' ' || c.unicode() == 0x00A0;
}

// A character as entries and keys are compared: case folded, the
// typographic apostrophes as ', the Romanian letters with a cedilla as those
// with a comma below (ş ș, ţ ț), a no-break space as a space.
char16_t fold(QChar c) {
    switch (c.unicode()) {
        case 0x2019:  // ’
        case 0x02BC:  // ʼ
            return u'\'';
        case 0x00A0:
            return u' ';
        default:
            break;
    }
    const char16_t folded = c.toCaseFolded().unicode();
    if (folded == 0x015F) {
        return 0x0219;
    }
    if (folded == 0x0163) {
        return 0x021B;
    }
    return folded;
}

// "fr" of "fr", "FR", "fr_FR.UTF-8", "fr-BE", "ca_ES@valencia".
QString languageOf(const QString& code) {
    int length = 0;
    while (length < code.size() && code.at(length).unicode() < 128 && code.at(length).isLetter()) {
        ++length;
    }
    return code.left(length).toLower();
}

bool isLanguageCode(const QString& text) {
    if (text.size() < 2 || text.size() > 3) {
        return false;
    }
    for (QChar c : text) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z')) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void malformed(int line, const QString& what) {
    throw std::runtime_error(
        QStringLiteral("street types table, line %1: %2").arg(line).arg(what).toStdString());
}

// Calls take(language, kind, text) for each entry of `table`, the text with
// its runs of white space made single spaces.
template <typename Take>
void readTable(const QString& table, Take take) {
    const QVector<QStringRef> lines = table.splitRef(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QStringRef line = lines.at(i);
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0) {
            line = line.left(comment);
        }
        const QString entry = line.toString().simplified();
        if (entry.isEmpty()) {
            continue;
        }
        const int lineNumber = i + 1;
        const int kindAt = entry.indexOf(QLatin1Char(' ')) + 1;
        const int textAt = kindAt > 0 ? entry.indexOf(QLatin1Char(' '), kindAt) + 1 : 0;
        if (textAt <= 0) {
            malformed(
                lineNumber,
                QStringLiteral("expected a language, a kind and a text in \"%1\"").arg(entry));
        }
        const QString language = entry.left(kindAt - 1);
        const QString kindName = entry.mid(kindAt, textAt - kindAt - 1);
        const QString text = entry.mid(textAt);
        if (!isLanguageCode(language)) {
            malformed(lineNumber, QStringLiteral("\"%1\" is not a language code").arg(language));
        }
        unsigned char kind = 0;
        if (kindName == QLatin1String("type")) {
            kind = kType;
        } else if (kindName == QLatin1String("particle")) {
            kind = kParticle;
        } else if (kindName == QLatin1String("article")) {
            kind = kArticle;
        } else {
            malformed(lineNumber, QStringLiteral("unknown kind \"%1\"").arg(kindName));
        }
        if (kind != kType && text.contains(QLatin1Char(' '))) {
            malformed(lineNumber, QStringLiteral("a %1 is one word: \"%2\"").arg(kindName, text));
        }
        take(language, kind, text);
    }
}

QString shippedTable() {
    registerStreetTypes();
    QFile file(QStringLiteral(":/bramlotte/index/street_types.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("The street types table is missing from the program");
    }
    return QString::fromUtf8(file.readAll());
}

// Spaces before and after a key: [begin, end) is the key without them.
struct Bounds {
    int begin = 0;
    int end = 0;
};
Bounds boundsOf(const QString& key) {
    Bounds b{0, key.size()};
    while (b.begin < b.end && isSpace(key.at(b.begin))) {
        ++b.begin;
    }
    while (b.end > b.begin && isSpace(key.at(b.end - 1))) {
        --b.end;
    }
    return b;
}

bool hasCombiningMarks(const QString& key, Bounds b) {
    for (int i = b.begin; i < b.end; ++i) {
        const char16_t c = key.at(i).unicode();
        if (c >= 0x0300 && c <= 0x036F) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<StreetFiling> StreetFiling::forLanguage(const QString& languageCode) {
    return fromTable(shippedTable(), languageCode);
}

QStringList StreetFiling::languages() {
    QStringList codes;
    readTable(shippedTable(), [&codes](const QString& language, unsigned char, const QString&) {
        if (!codes.contains(language)) {
            codes << language;
        }
    });
    return codes;
}

std::optional<StreetFiling> StreetFiling::fromTable(const QString& table,
                                                    const QString& languageCode) {
    const QString language = languageOf(languageCode);
    StreetFiling filing;
    filing.nodes_.emplace_back();
    bool any = false;
    readTable(table, [&](const QString& entryLanguage, unsigned char kind, const QString& text) {
        if (entryLanguage == language) {
            filing.add(text, kind);
            any = true;
        }
    });
    if (!any) {
        return std::nullopt;
    }
    return filing;
}

void StreetFiling::add(const QString& text, unsigned char kind) {
    int node = 0;
    for (QChar c : text) {
        const char16_t folded = fold(c);
        int next = child(node, folded);
        if (next < 0) {
            next = static_cast<int>(nodes_.size());
            nodes_[static_cast<size_t>(node)].next.emplace_back(folded, next);
            nodes_.emplace_back();
        }
        node = next;
    }
    nodes_[static_cast<size_t>(node)].kinds |= kind;
}

int StreetFiling::child(int node, char16_t c) const {
    for (const auto& [character, next] : nodes_[static_cast<size_t>(node)].next) {
        if (character == c) {
            return next;
        }
    }
    return -1;
}

std::optional<FiledName> StreetFiling::file(const QString& key) const {
    const Bounds b = boundsOf(key);
    if (b.begin == b.end) {
        return std::nullopt;
    }
    if (hasCombiningMarks(key, b)) {
        const QString composed =
            key.mid(b.begin, b.end - b.begin).normalized(QString::NormalizationForm_C);
        return fileComposed(composed, 0, composed.size());
    }
    return fileComposed(key, b.begin, b.end);
}

QString StreetFiling::filed(const QString& key) const {
    const std::optional<FiledName> parts = file(key);
    if (!parts) {
        return key;
    }
    const Bounds b = boundsOf(key);
    QString text;
    text.reserve(key.size() + 3);
    text.append(key.leftRef(b.begin));
    text.append(parts->name);
    text.append(QLatin1String(" ("));
    text.append(parts->type);
    text.append(QLatin1Char(')'));
    text.append(key.midRef(b.end));
    return text;
}

// The filing of key[begin, end), a key without surrounding spaces.
std::optional<FiledName> StreetFiling::fileComposed(const QString& key, int begin, int end) const {
    // The longest type at the start that ends at a word boundary: a space,
    // the key's end, or the type's own "." or "/" ("Av.Foch", "C/Mayor").
    // A run of spaces in the key matches one in the type.
    int node = 0;
    int typeEnd = -1;
    for (int i = begin; i < end;) {
        const char16_t c = fold(key.at(i));
        int step = 1;
        if (c == u' ') {
            while (i + step < end && isSpace(key.at(i + step))) {
                ++step;
            }
        }
        node = child(node, c);
        if (node < 0) {
            break;
        }
        i += step;
        if ((nodes_[static_cast<size_t>(node)].kinds & kType) &&
            (i == end || isSpace(key.at(i)) || c == u'.' || c == u'/')) {
            typeEnd = i;
        }
    }
    if (typeEnd < 0) {
        return std::nullopt;
    }

    // Then a particle, an article after it, or an elision joined to the
    // name; whatever follows is the name.
    int partsEnd = typeEnd;
    int nameStart = -1;
    int at = typeEnd;
    unsigned char allowed = kParticle;
    while (nameStart < 0) {
        while (at < end && isSpace(key.at(at))) {
            ++at;
        }
        if (at == end) {
            return std::nullopt;  // a type and particles only
        }
        int wordEnd = at;
        while (wordEnd < end && !isSpace(key.at(wordEnd))) {
            ++wordEnd;
        }
        if (allowed == 0) {
            nameStart = at;
            break;
        }
        int n = 0;
        int i = at;
        int elisionEnd = -1;
        for (; i < wordEnd; ++i) {
            const char16_t c = fold(key.at(i));
            n = child(n, c);
            if (n < 0) {
                break;
            }
            if (c == u'\'' && i + 1 < wordEnd && (nodes_[static_cast<size_t>(n)].kinds & allowed)) {
                elisionEnd = i + 1;
            }
        }
        const unsigned char kinds = n >= 0 ? nodes_[static_cast<size_t>(n)].kinds & allowed : 0;
        if (i == wordEnd && kinds != 0) {
            partsEnd = wordEnd;
            at = wordEnd;
            allowed = (kinds & kParticle) ? kArticle : 0;
        } else if (elisionEnd > 0) {
            partsEnd = elisionEnd;
            nameStart = elisionEnd;
        } else {
            nameStart = at;
        }
    }
    return FiledName{key.mid(nameStart, end - nameStart), key.mid(begin, partsEnd - begin)};
}

}  // namespace bramlotte::index
