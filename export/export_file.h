// The export file: the one output file of a build. Lines go to a temporary
// file beside the target, which replaces the target only when every line is
// written and on disk; a failure, an early close or an ending signal leaves
// the target as it was and no temporary file behind.
#pragma once

#include "export/text_encoding.h"
#include "support/files/replacement_file.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace bramlotte::exporting {

class ExportFile {
  public:
    // `folder` is the folder the user chose and `path` the target within it.
    // Throws support::Failure when the target cannot be written: a
    // missing folder, a name the file system refuses (one holding "/"), a
    // target the user may not write (decided from its mode bits).
    ExportFile(const QString& folder, const QString& path);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Writes `line` in the locale's character set, then CR LF.
    void writeLine(const QString& line);
    // Puts the file in place of the target. Throws on failure.
    void commit();

    const QString& path() const { return path_; }

  private:
    void flush();

    QString path_;
    std::optional<support::ReplacementFile> file_;
    QByteArray buffer_;
    LocaleEncoder encoder_;  // the locale's character set when the file was opened
};

}  // namespace bramlotte::exporting
