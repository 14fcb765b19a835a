#include "map/qgis/reading/read_errors.h"

#include "support/base/failure.h"

#include <cpl_error.h>
#include <qgsapplication.h>
#include <qgsfeature.h>
#include <qgsfeatureiterator.h>
#include <qgsmessagelog.h>

#include <QObject>

#include <algorithm>

namespace bramlotte::qgishost {
namespace {

// The scope of the read this thread is in, if any.
thread_local ReadErrorScope* tCurrent = nullptr;

// Failures are the read's to judge; GDAL's warnings (an unclosed ring it
// closes, say) are not printed raw either.
void CPL_STDCALL gdalError(CPLErr level, CPLErrorNum, const char* message) {
    if ((level == CE_Failure || level == CE_Fatal) && tCurrent) {
        tCurrent->add(QString::fromUtf8(message).trimmed());
    }
}

// QGIS's providers log what fails (a query, a fetch) in its message log, in
// the thread that read. One connection serves every read.
void listenToMessageLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        QgsMessageLog* log = QgsApplication::messageLog();
        if (!log) {
            return;
        }
        QObject::connect(
            log,
            static_cast<void (QgsMessageLog::*)(const QString&, const QString&,
                                                Qgis::MessageLevel)>(
                &QgsMessageLog::messageReceived),
            log,
            [](const QString& message, const QString& tag, Qgis::MessageLevel level) {
                if (tCurrent && (level == Qgis::MessageLevel::Warning ||
                                 level == Qgis::MessageLevel::Critical)) {
                    tCurrent->add(tag.isEmpty() ? message.trimmed()
                                                : tag + QStringLiteral(": ") + message.trimmed());
                }
            },
            Qt::DirectConnection);
    });
}

}  // namespace

void ReadErrors::add(const QString& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (texts_.contains(text)) {
        return;
    }
    if (texts_.size() < kTextsKept) {
        texts_ << text;
    } else {
        ++more_;
    }
}

bool ReadErrors::any() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !texts_.isEmpty();
}

QStringList ReadErrors::texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

void ReadErrors::check(const QString& layerName) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (texts_.isEmpty()) {
        return;
    }
    QString said = texts_.join(QStringLiteral("; "));
    if (more_ > 0) {
        said += QStringLiteral(" (and %1 more errors)").arg(more_);
    }
    throw support::Failure(
        support::error::kReadFailed,
        QStringLiteral("Layer %1 could not be read completely: %2").arg(layerName, said));
}

ReadErrorScope::ReadErrorScope(ReadErrors& errors) : errors_(errors), outer_(tCurrent) {
    listenToMessageLog();
    tCurrent = this;
    CPLPushErrorHandler(gdalError);
}

ReadErrorScope::~ReadErrorScope() {
    CPLPopErrorHandler();
    tCurrent = outer_;
    settle();
}

void ReadErrorScope::settle() {
    for (const QString& text : pending_) {
        errors_.add(text);
    }
    pending_.clear();
}

bool ReadErrorScope::pendingAreAboutShapes() const {
    return std::all_of(pending_.begin(), pending_.end(), [](const QString& text) {
        return text.contains(QLatin1String("geometry"), Qt::CaseInsensitive) ||
               text.contains(QLatin1String("WKB"), Qt::CaseInsensitive);
    });
}

bool nextFeature(QgsFeatureIterator& it, QgsFeature& f, ReadErrorScope& scope,
                 host::SkippedShapes& skipped) {
    if (!it.nextFeature(f)) {
        scope.settle();
        return false;
    }
    if (scope.pending()) {
        // Only a shape that came whole and did not parse is one shape's
        // loss; a file cut short also delivers features without shapes, but
        // its errors are those of reading the file.
        if (!f.hasGeometry() && scope.pendingAreAboutShapes()) {
            scope.forgive();
            skipped.add(host::ShapeFault::Unreadable, f.id());
        } else {
            scope.settle();
        }
    }
    return true;
}

}  // namespace bramlotte::qgishost
