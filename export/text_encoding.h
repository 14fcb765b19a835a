// Files are written in the character set of the user's locale.
#pragma once

#include <QByteArray>
#include <QString>

namespace bramlotte::exporting {

// `text` in the locale's character set: UTF-8 on a normal system and in the
// plain C or POSIX locale; a legacy 8-bit locale's code page otherwise, with
// "?" for each character it cannot hold.
QByteArray encodeForLocale(const QString& text);

// The name of the character set encodeForLocale writes.
QByteArray localeCharset();

}  // namespace bramlotte::exporting
