// Files are written in the character set of the user's locale.
#pragma once

#include <QByteArray>
#include <QString>

class QTextCodec;

namespace bramlotte::exporting {

// Writes texts in the character set the locale has when it is made: a file
// takes its encoder once, not a locale look-up per line.
class LocaleEncoder {
  public:
    LocaleEncoder();
    QByteArray encode(const QString& text) const;

  private:
    QTextCodec* codec_;
    bool utf8_;
};

// `text` in the locale's character set: UTF-8 on a normal system and in the
// plain C or POSIX locale; a legacy 8-bit locale's code page otherwise, with
// "?" for each character it cannot hold.
QByteArray encodeForLocale(const QString& text);

// The name of the character set encodeForLocale writes.
QByteArray localeCharset();

}  // namespace bramlotte::exporting
