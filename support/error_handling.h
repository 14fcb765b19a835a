// The one place where an unexpected failure is shown to the user.
#pragma once

#include <QString>

#include <cstdint>

namespace bramlotte::support {

// The maker's support address, shown in the error box and the help window.
inline const QString kSupportEmail = QStringLiteral("support@quillmere.example");

// "" for line 0, otherwise "Line : " and the number.
QString FormatErrorLine(int32_t line);

// The text of the error box, lines joined by CR LF.
QString UnexpectedErrorText(const QString& location, int32_t number, const QString& description);

// Hides the host's progress indicator where it can be reached, shows the
// error box and returns when the user has pressed OK. Never throws.
void ReportUnexpectedError(const QString& location, int32_t number, const QString& description);

}  // namespace bramlotte::support
