// A new version of a file, written beside it and put in its place whole.
//
// The new content goes to a temporary file in the target's folder, named
// after the target and short enough for the folder's file system whatever
// the target's name. commit() puts it on disk, gives it the target's mode
// (and, for the superuser, its owner) and renames it over the target; until
// then the target is as it was. A failure, an early destruction or an ending
// signal removes the temporary file (see support/files/scratch_files.h).
#pragma once

#include "support/files/scratch_files.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace bramlotte::support {

class ReplacementFile {
  public:
    struct Naming {
        // ".NAME.XXXXXX", out of sight in folder listings; otherwise
        // "NAME.XXXXXX", for writers that take a name's start for the names
        // of what they write inside it.
        bool hidden = true;
        // Ends the temporary name, for writers that choose the format by the
        // extension (".qgz", ".pdf").
        QByteArray suffix;
        // Bytes the name leaves free for companion files that a writer
        // names after it ("NAME_attachments.zip" beside a ".qgs" project).
        int spare = 0;
    };

    // Throws support::Failure, leaving nothing behind, when the target
    // exists and is not a file, when its mode bits forbid writing it
    // (decided as mayWriteFile does, so also for the superuser), or when the
    // temporary file cannot be made.
    explicit ReplacementFile(const QString& target, const Naming& naming);
    explicit ReplacementFile(const QString& target) : ReplacementFile(target, Naming()) {}
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    const QString& target() const { return target_; }
    const QByteArray& temporaryPath() const { return scratch_.path(); }
    QString temporaryFilePath() const;

    // Appends `size` bytes. Throws support::Failure.
    void write(const char* data, qsizetype size);
    // Closes the file, for a writer that writes it by its name; commit()
    // then takes whatever file bears the temporary name.
    void closeDescriptor();
    // Puts the temporary file in place of the target. Throws
    // support::Failure, the target as it was, when it cannot.
    void commit();

  private:
    QString target_;
    ScratchFile scratch_;
    int fd_ = -1;
    mode_t mode_ = 0;
    bool keepOwner_ = false;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

// The template (its random part "XXXXXX") of a temporary file beside the
// file named `name` (encoded), at most `nameMax` - naming.spare bytes long.
// A shortened name is cut between two UTF-8 characters.
QByteArray temporaryNameFor(const QByteArray& name, const ReplacementFile::Naming& naming,
                            long nameMax);

// The longest file name the file system of `folder` takes.
long maxNameLength(const QString& folder);

}  // namespace bramlotte::support
