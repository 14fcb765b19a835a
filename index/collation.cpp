#include "index/collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <QLocale>

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace bramlotte::index {
namespace {

// ICU's locale for the collation of `localeName`'s language: "root" where
// the name gives no language. QLocale reads POSIX names ("de_DE.UTF-8@euro")
// and makes C of C, POSIX, C.UTF-8 and every name it does not know.
QByteArray icuLocaleOf(const QString& localeName) {
    const QLocale locale(localeName);
    if (locale.language() == QLocale::C) {
        return QByteArrayLiteral("root");
    }
    return locale.bcp47Name().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
}

const UChar* charsOf(const QString& text) {
    return reinterpret_cast<const UChar*>(text.utf16());
}

[[noreturn]] void noCollation(const QString& localeName, UErrorCode status) {
    throw std::runtime_error(std::string("No collation for the locale ") +
                             localeName.toStdString() + ": " + u_errorName(status));
}

// The collator for `locale` at `strength`, canonically equivalent texts (é,
// e and a combining acute) alike.
UCollator* openCollator(const char* locale, UCollationStrength strength, CollationOptions options,
                        UErrorCode& status) {
    UCollator* collator = ucol_open(locale, &status);
    if (U_SUCCESS(status)) {
        ucol_setStrength(collator, strength);
        ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, options.numeric ? UCOL_ON : UCOL_OFF,
                          &status);
    }
    return collator;
}

}  // namespace

QString collationLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty()) {
            return value;
        }
    }
    return QStringLiteral("C");
}

void Collator::Close::operator()(UCollator* collator) const {
    ucol_close(collator);
}

Collator::Collator(const QString& localeName, CollationOptions options) {
    const QByteArray locale = icuLocaleOf(localeName);
    UErrorCode status = U_ZERO_ERROR;
    // Secondary strength: accents count, case does not.
    collator_.reset(openCollator(locale.constData(), UCOL_SECONDARY, options, status));
    if (U_SUCCESS(status)) {
        cases_.reset(openCollator(locale.constData(), UCOL_TERTIARY, options, status));
    }
    if (U_SUCCESS(status)) {
        letters_.reset(openCollator(locale.constData(), UCOL_PRIMARY, options, status));
    }
    if (U_FAILURE(status)) {
        noCollation(localeName, status);
    }
}

QByteArray Collator::sortKey(const QString& text) const {
    std::vector<unsigned char> key;
    appendSortKey(text, key);
    return QByteArray(reinterpret_cast<const char*>(key.data()), static_cast<int>(key.size()));
}

void Collator::appendSortKey(const QString& text, std::vector<unsigned char>& keys) const {
    const UChar* chars = charsOf(text);
    const size_t at = keys.size();
    // Most keys fit twice the text's length; a longer one is asked for again.
    size_t room = 2 * static_cast<size_t>(text.size()) + 16;
    keys.resize(at + room);
    auto length = static_cast<size_t>(ucol_getSortKey(collator_.get(), chars, text.size(),
                                                      keys.data() + at, static_cast<int>(room)));
    if (length > room) {
        room = length;
        keys.resize(at + room);
        length = static_cast<size_t>(ucol_getSortKey(collator_.get(), chars, text.size(),
                                                     keys.data() + at, static_cast<int>(room)));
    }
    keys.resize(at + length);
}

int Collator::compareTies(const QString& a, const QString& b) const {
    const UCollationResult byCase =
        ucol_strcoll(cases_.get(), charsOf(a), a.size(), charsOf(b), b.size());
    if (byCase != UCOL_EQUAL) {
        return byCase;
    }
    return u_strCompare(charsOf(a), a.size(), charsOf(b), b.size(), true);
}

QString Collator::headingLetter(const QString& text) const {
    // The first character with the marks that combine with it.
    int end = 0;
    while (end < text.size() && text.at(end).isSpace()) {
        ++end;
    }
    if (end == text.size()) {
        return QString();
    }
    const int start = end;
    end += text.at(start).isHighSurrogate() && start + 1 < text.size() ? 2 : 1;
    while (end < text.size() && text.at(end).isMark()) {
        ++end;
    }
    const QString first = text.mid(start, end - start).toUpper();
    if (first.at(0).isDigit()) {
        return QStringLiteral("0-9");
    }
    if (!first.at(0).isLetter()) {
        return first;
    }
    // The base letter of its canonical decomposition stands for it where the
    // collation holds the two the same letter.
    const QString base =
        first.normalized(QString::NormalizationForm_D).left(first.at(0).isHighSurrogate() ? 2 : 1);
    const auto sameLetter = [this, &first](const QString& letter) {
        return ucol_strcoll(letters_.get(), reinterpret_cast<const UChar*>(first.utf16()),
                            first.size(), reinterpret_cast<const UChar*>(letter.utf16()),
                            letter.size()) == UCOL_EQUAL;
    };
    if (sameLetter(base)) {
        return base;
    }
    // Some collations count a letter as another one (Finnish Ü as Y).
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        const QString latin(QChar{c});
        if (sameLetter(latin)) {
            return latin;
        }
    }
    return first.normalized(QString::NormalizationForm_C);
}

}  // namespace bramlotte::index
