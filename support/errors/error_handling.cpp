#include "support/errors/error_handling.h"

#include <QStringList>

#include <cstdio>
#include <stdexcept>

namespace bramlotte::support {
namespace {

// Hides the status bar's progress indicator. Before the first click there is
// no status bar to ask; the report must go on regardless.
void hideProgress(const Reporter& reporter) {
    try {
        const auto& bar = reporter.statusBar;
        ProgressIndicator* progress = bar ? bar->progressIndicator() : nullptr;
        if (progress) {
            progress->hide();
        }
    } catch (...) {
        // Nothing to hide, or the host cannot say: the box matters more.
    }
}

}  // namespace

QString FormatErrorLine(int32_t line) {
    return line == 0 ? QString() : QStringLiteral("Line : ") + QString::number(line);
}

QString UnexpectedErrorText(const Reporter& reporter, const QString& location, int32_t number,
                            const QString& description) {
    const QStringList lines = {
        QStringLiteral("We're sorry, an unexpected error has occurred."),
        QString(),
        QStringLiteral("Please email ") + kSupportEmail + QStringLiteral(" and we'll"),
        QStringLiteral("be happy to help out."),
        QString(),
        QStringLiteral("Please let us know the following:"),
        QString(),
        QStringLiteral("APPLICATION: ") + reporter.productName + QLatin1Char(' ') +
            reporter.productVersion,
        QStringLiteral("ERROR NUMBER: ") + QString::number(number),
        QStringLiteral("MODULE: ") + location,
        QStringLiteral("ERROR DESCRIPTION: ") + description,
        QString(),
        QStringLiteral("If possible, please attach a screenshot of this"),
        QStringLiteral("message with your QGIS project in the background."),
        QStringLiteral("You can do this by pressing <CTRL> and <Prnt Screen>"),
        QStringLiteral("and then pasting the image into a graphics application"),
        QStringLiteral("such as Paint. Saving the image as a JPG is preferrable."),
        QString(),
        QStringLiteral("Thank you!"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

void ReportUnexpectedError(const Reporter& reporter, const QString& location, int32_t number,
                           const QString& description) {
    hideProgress(reporter);
    if (reporter.reported) {
        try {
            reporter.reported(location, number, description);
        } catch (...) {
            // The box matters more.
        }
    }
    // The failure was caught by the caller's trap: nothing is pending now.
    const QString text = UnexpectedErrorText(reporter, location, number, description);
    try {
        if (!reporter.ui) {
            throw std::logic_error("no desktop");
        }
        reporter.ui->messageBox(text, Buttons::Ok, Answer::Ok);
    } catch (...) {
        // No desktop to show it on: the report still reaches the user.
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

}  // namespace bramlotte::support
