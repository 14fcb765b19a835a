#include "export/text_encoding.h"

#include <QTextCodec>

#include <langinfo.h>
#include <clocale>

namespace bramlotte::exporting {
namespace {

QTextCodec* localeCodec() {
    // The C library tells the locale's character set once the program has
    // taken the user's locale; plain ASCII (the C locale) counts as UTF-8.
    std::setlocale(LC_CTYPE, "");
    const QByteArray codeset = nl_langinfo(CODESET);
    QTextCodec* codec = nullptr;
    if (!codeset.isEmpty() && codeset != "ANSI_X3.4-1968" && codeset != "ASCII" &&
        codeset != "US-ASCII") {
        codec = QTextCodec::codecForName(codeset);
    }
    return codec ? codec : QTextCodec::codecForName("UTF-8");
}

}  // namespace

QByteArray localeCharset() {
    return localeCodec()->name();
}

LocaleEncoder::LocaleEncoder() : codec_(localeCodec()), utf8_(codec_->mibEnum() == 106) {}

QByteArray LocaleEncoder::encode(const QString& text) const {
    if (utf8_) {
        return text.toUtf8();
    }
    // Qt's 8-bit codecs put "?" where the code page has no character.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    return codec_->fromUnicode(text.constData(), text.size(), &state);
}

QByteArray encodeForLocale(const QString& text) {
    return LocaleEncoder().encode(text);
}

}  // namespace bramlotte::exporting
