// File-system helpers. Each reports its own failures to the reporter it is
// given and returns normally; none throws.
#pragma once

#include "support/errors/error_handling.h"

#include <QString>

namespace bramlotte::support {

// True only for an existing file (not a folder; false for a missing or
// malformed path).
bool fDoesFileExist(const Reporter& reporter, const QString& path);
// True only for an existing folder.
bool fDoesDirectoryExist(const Reporter& reporter, const QString& path);
// Deletes the file at `path`; a missing file is no error. Not forced: a file
// the user may not write stays and the failure is reported.
void fDeleteFile(const Reporter& reporter, const QString& path);
// Whether fDeleteFile would delete the file at `path` (true also for a
// missing file). Deletes nothing; a file it would refuse is reported exactly
// as fDeleteFile reports it.
bool fMayDeleteFile(const Reporter& reporter, const QString& path);
// Creates exactly one folder; reports an existing path or a missing parent.
void fCreateDirectory(const Reporter& reporter, const QString& path);

// Whether the user may write the file, decided from its mode bits (so that
// a read-only file counts as read-only even for the superuser).
bool mayWriteFile(const QString& path);

}  // namespace bramlotte::support
