#include "export/export_file.h"

#include "export/text_encoding.h"
#include "support/base/failure.h"

#include <QDir>
#include <QFileInfo>

namespace bramlotte::exporting {
namespace {

constexpr int kBufferSize = 1 << 16;

}  // namespace

ExportFile::ExportFile(const QString& folder, const QString& path) : path_(path) {
    const QFileInfo target(path);
    // The target must lie right in the chosen folder: a "/" in the name would
    // put it elsewhere.
    if (QDir::cleanPath(target.absolutePath()) !=
        QDir::cleanPath(QFileInfo(folder).absoluteFilePath())) {
        throw support::Failure(support::error::kBadFileName,
                               QStringLiteral("Bad file name: %1").arg(target.fileName()));
    }
    // The new file gets the target's mode, or the usual one for a new file;
    // a target whose mode bits forbid writing is refused.
    file_.emplace(path);
    buffer_.reserve(kBufferSize);
}

ExportFile::~ExportFile() = default;  // an uncommitted file is removed

void ExportFile::writeLine(const QString& line) {
    buffer_ += encoder_.encode(line);
    buffer_ += "\r\n";
    if (buffer_.size() >= kBufferSize) {
        flush();
    }
}

void ExportFile::flush() {
    file_->write(buffer_.constData(), buffer_.size());
    buffer_.clear();
}

void ExportFile::commit() {
    flush();
    file_->commit();
}

}  // namespace bramlotte::exporting
