// The one place where an unexpected failure is shown to the user.
#pragma once

#include "support/desktop/progress_indicator.h"
#include "support/desktop/ui_toolkit.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace bramlotte::support {

// Where an unexpected failure is reported: the box goes to `ui` (standard
// error when there is none), after the progress indicator of `statusBar`
// (when there is one) is hidden; the box names the product.
struct Reporter {
    UiToolkit* ui = nullptr;
    std::shared_ptr<StatusBar> statusBar;
    QString productName;
    QString productVersion;
    // Told of every report as a value, beside the box: location, number,
    // description.
    std::function<void(const QString&, int32_t, const QString&)> reported;
};

// The maker's support address, shown in the error box and the help window.
inline const QString kSupportEmail = QStringLiteral("support@quillmere.example");

// "" for line 0, otherwise "Line : " and the number.
QString FormatErrorLine(int32_t line);

// The text of the error box, lines joined by CR LF.
QString UnexpectedErrorText(const Reporter& reporter, const QString& location, int32_t number,
                            const QString& description);

// Hides the host's progress indicator where it can be reached, shows the
// error box and returns when the user has pressed OK. Never throws.
void ReportUnexpectedError(const Reporter& reporter, const QString& location, int32_t number,
                           const QString& description);

}  // namespace bramlotte::support
