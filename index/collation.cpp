#include "index/collation.h"

#include <unicode/ucol.h>

#include <QLocale>

#include <initializer_list>
#include <stdexcept>

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

Collator::Collator(const QString& localeName) {
    UErrorCode status = U_ZERO_ERROR;
    collator_.reset(ucol_open(icuLocaleOf(localeName).constData(), &status));
    if (U_SUCCESS(status)) {
        // Secondary strength: accents count, case does not.
        ucol_setStrength(collator_.get(), UCOL_SECONDARY);
        // Canonically equivalent texts (é, e and a combining acute) sort alike.
        ucol_setAttribute(collator_.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    }
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("No collation for the locale ") +
                                 localeName.toStdString() + ": " + u_errorName(status));
    }
}

QByteArray Collator::sortKey(const QString& text) const {
    const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
    // Most keys fit twice the text's length; a longer one is asked for again.
    QByteArray key(2 * text.size() + 16, Qt::Uninitialized);
    int length = ucol_getSortKey(collator_.get(), chars, text.size(),
                                 reinterpret_cast<uint8_t*>(key.data()), key.size());
    if (length > key.size()) {
        key.resize(length);
        length = ucol_getSortKey(collator_.get(), chars, text.size(),
                                 reinterpret_cast<uint8_t*>(key.data()), key.size());
    }
    key.resize(length);
    return key;
}

}  // namespace bramlotte::index
