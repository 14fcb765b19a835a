#include "index/collation.h"

#include <unicode/alphaindex.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/tblcoll.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uscript.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <QLocale>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace bramlotte::index {
namespace {

// More index letters than all scripts of a run have together: ICU thins
// out the letters of an index beyond its maximum (99 by default).
constexpr int32_t kManyLabels = 100000;

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

// A read-only ICU view of `text`, without a copy.
icu::UnicodeString viewOf(const QString& text) {
    return icu::UnicodeString(false, charsOf(text), text.size());
}

QString qStringOf(const icu::UnicodeString& text) {
    return QString::fromUtf16(text.getBuffer(), text.length());
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

// The same collator in ICU's C++ form, as the alphabetic index takes it.
std::unique_ptr<icu::RuleBasedCollator> ruleCollator(const icu::Locale& locale,
                                                     CollationOptions options, UErrorCode& status) {
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    std::unique_ptr<icu::RuleBasedCollator> rules(
        dynamic_cast<icu::RuleBasedCollator*>(collator.get()));
    if (!rules) {
        status = U_UNSUPPORTED_ERROR;
        return nullptr;
    }
    collator.release();
    rules->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    rules->setAttribute(UCOL_NUMERIC_COLLATION, options.numeric ? UCOL_ON : UCOL_OFF, status);
    return rules;
}

// The script of the letter `text` starts with (after marks and format
// characters); USCRIPT_COMMON where it starts with no letter.
UScriptCode scriptOfFirstLetter(const QString& text) {
    const UChar* chars = charsOf(text);
    const int length = text.size();
    for (int i = 0; i < length;) {
        UChar32 c;
        U16_NEXT(chars, i, length, c);
        if (u_isalpha(c)) {
            UErrorCode status = U_ZERO_ERROR;
            return uscript_getScript(c, &status);
        }
        const int8_t type = u_charType(c);
        if (type != U_NON_SPACING_MARK && type != U_ENCLOSING_MARK && type != U_FORMAT_CHAR &&
            type != U_CONTROL_CHAR) {
            break;
        }
    }
    return USCRIPT_COMMON;
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

Collator::Collator(const QString& localeName, CollationOptions options)
    : localeName_(localeName), options_(options) {
    const QByteArray locale = icuLocaleOf(localeName);
    UErrorCode status = U_ZERO_ERROR;
    // Secondary strength: accents count, case does not.
    collator_.reset(openCollator(locale.constData(), UCOL_SECONDARY, options, status));
    if (U_SUCCESS(status)) {
        cases_.reset(openCollator(locale.constData(), UCOL_TERTIARY, options, status));
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
    return HeadingLetters(localeName_, QStringList{text}, options_).of(text);
}

struct HeadingLetters::Index {
    icu::Locale locale;
    std::unique_ptr<icu::AlphabeticIndex::ImmutableIndex> buckets;
    std::unique_ptr<icu::RuleBasedCollator> primary;  // the index's collation, base letters only
    const icu::Normalizer2* compatibility = nullptr;  // NFKD

    // The buckets of the locale's index letters and those of `others`.
    void build(CollationOptions options, const std::vector<icu::Locale>& others,
               UErrorCode& status) {
        std::unique_ptr<icu::RuleBasedCollator> collator = ruleCollator(locale, options, status);
        if (U_FAILURE(status)) {
            return;
        }
        icu::AlphabeticIndex index(collator.release(), status);  // adopts the collator
        index.addLabels(locale, status);
        if (!others.empty()) {
            index.setMaxLabelCount(kManyLabels, status);
        }
        for (const icu::Locale& other : others) {
            index.addLabels(other, status);
        }
        if (U_SUCCESS(status)) {
            buckets.reset(index.buildImmutableIndex(status));
        }
    }

    UCollationResult comparePrimary(const icu::UnicodeString& a,
                                    const icu::UnicodeString& b) const {
        UErrorCode status = U_ZERO_ERROR;
        return primary->compare(a, b, status);
    }

    // The heading of a text outside every letter's bucket: before the
    // locale's first letter, between scripts or after the last.
    QString firstCharacterHeading(const QString& text, bool beforeFirstLetter) const {
        const UChar* chars = charsOf(text);
        const int length = text.size();
        for (int i = 0; i < length;) {
            UChar32 c;
            U16_NEXT(chars, i, length, c);
            const icu::UnicodeString character(c);
            if (comparePrimary(character, icu::UnicodeString()) == UCOL_EQUAL) {
                continue;  // ignored by the collation: a mark, a format character
            }
            if (u_isUWhiteSpace(c)) {
                return QString();
            }
            if (beforeFirstLetter && !u_isalpha(c) &&
                comparePrimary(viewOf(text), icu::UnicodeString(u"0")) != UCOL_LESS) {
                return QStringLiteral("0-9");
            }
            // The first part of its compatibility form stands for it where
            // both are letters or neither is ("…" under ".", "Ｑ" under "Q").
            UErrorCode status = U_ZERO_ERROR;
            const icu::UnicodeString plain = compatibility->normalize(character, status);
            if (U_SUCCESS(status) && !plain.isEmpty() &&
                u_isalpha(plain.char32At(0)) == u_isalpha(c)) {
                c = plain.char32At(0);
            }
            return qStringOf(icu::UnicodeString(c).toUpper(locale));
        }
        return QString();
    }
};

HeadingLetters::HeadingLetters(const QString& localeName, const QStringList& texts,
                               CollationOptions options)
    : index_(std::make_unique<Index>()) {
    index_->locale = icu::Locale(icuLocaleOf(localeName).constData());
    UErrorCode status = U_ZERO_ERROR;
    index_->build(options, {}, status);
    if (U_SUCCESS(status)) {
        index_->primary = ruleCollator(index_->locale, options, status);
    }
    if (U_SUCCESS(status)) {
        index_->primary->setStrength(icu::Collator::PRIMARY);
        index_->compatibility = icu::Normalizer2::getNFKDInstance(status);
    }
    if (U_FAILURE(status)) {
        noCollation(localeName, status);
    }
    // Scripts the locale's letters do not cover get the index letters of
    // their main language ("und-Grek" is Greek's, "und-Cyrl" Russian's).
    std::vector<UScriptCode> covered{USCRIPT_COMMON, USCRIPT_INHERITED, USCRIPT_UNKNOWN};
    for (int32_t b = 0; b < index_->buckets->getBucketCount(); ++b) {
        const icu::AlphabeticIndex::Bucket* bucket = index_->buckets->getBucket(b);
        if (bucket->getLabelType() == U_ALPHAINDEX_NORMAL) {
            UErrorCode scriptStatus = U_ZERO_ERROR;
            covered.push_back(uscript_getScript(bucket->getLabel().char32At(0), &scriptStatus));
        }
    }
    std::vector<icu::Locale> others;
    for (const QString& text : texts) {
        const UScriptCode script = scriptOfFirstLetter(text);
        if (std::find(covered.begin(), covered.end(), script) != covered.end()) {
            continue;
        }
        covered.push_back(script);
        icu::Locale likely = icu::Locale::createFromName(
            (std::string("und_") + uscript_getShortName(script)).c_str());
        UErrorCode likelyStatus = U_ZERO_ERROR;
        likely.addLikelySubtags(likelyStatus);
        const icu::Locale language(likely.getLanguage());
        if (U_SUCCESS(likelyStatus) && !language.isBogus() &&
            std::strcmp(language.getLanguage(), "und") != 0 &&
            std::strcmp(language.getLanguage(), index_->locale.getLanguage()) != 0 &&
            std::find(others.begin(), others.end(), language) == others.end()) {
            others.push_back(language);
        }
    }
    if (!others.empty()) {
        index_->build(options, others, status);
        if (U_FAILURE(status)) {
            noCollation(localeName, status);
        }
    }
}

HeadingLetters::~HeadingLetters() = default;

QString HeadingLetters::of(const QString& text) const {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t number = index_->buckets->getBucketIndex(viewOf(text), status);
    const icu::AlphabeticIndex::Bucket* bucket =
        U_SUCCESS(status) ? index_->buckets->getBucket(number) : nullptr;
    if (!bucket) {
        return index_->firstCharacterHeading(text, false);
    }
    if (bucket->getLabelType() == U_ALPHAINDEX_NORMAL) {
        return qStringOf(bucket->getLabel());
    }
    return index_->firstCharacterHeading(text, bucket->getLabelType() == U_ALPHAINDEX_UNDERFLOW);
}

bool HeadingLetters::same(const QString& a, const QString& b) const {
    return a == b || index_->comparePrimary(viewOf(a), viewOf(b)) == UCOL_EQUAL;
}

}  // namespace bramlotte::index
