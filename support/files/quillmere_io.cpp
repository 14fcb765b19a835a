#include "support/files/quillmere_io.h"

#include "support/base/failure.h"
#include "support/errors/error_trap.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace bramlotte::support {
namespace {

const char* const kModule = "Quillmere_IO";

// The path as the system takes it; a NUL inside makes it malformed.
bool systemPath(const QString& path, QByteArray& out) {
    out = QFile::encodeName(path);
    return !path.isEmpty() && !out.contains('\0');
}

bool statPath(const QString& path, struct stat& st) {
    QByteArray p;
    return systemPath(path, p) && ::stat(p.constData(), &st) == 0;
}

[[noreturn]] void fail(int err, const QString& path) {
    throw Failure::fromErrno(err, path);
}

}  // namespace

bool mayWriteFile(const QString& path) {
    struct stat st {};
    if (!statPath(path, st)) {
        return false;
    }
    const uid_t uid = geteuid();
    if (uid == 0) {
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    }
    if (st.st_uid == uid) {
        return (st.st_mode & S_IWUSR) != 0;
    }
    QByteArray p;
    systemPath(path, p);
    return ::access(p.constData(), W_OK) == 0;
}

bool fDoesFileExist(const Reporter& reporter, const QString& path) {
    bool exists = false;
    BRAMLOTTE_TRAP(reporter, "fDoesFileExist", kModule, [&](ErrorTrap& trap) {
        struct stat st {};
        BRAMLOTTE_LINE(trap);
        exists = statPath(path, st) && S_ISREG(st.st_mode);
    });
    return exists;
}

bool fDoesDirectoryExist(const Reporter& reporter, const QString& path) {
    bool exists = false;
    BRAMLOTTE_TRAP(reporter, "fDoesDirectoryExist", kModule, [&](ErrorTrap& trap) {
        struct stat st {};
        BRAMLOTTE_LINE(trap);
        exists = statPath(path, st) && S_ISDIR(st.st_mode);
    });
    return exists;
}

namespace {

// fDeleteFile's body; with `remove` false it stops where the file would go,
// so that a refusal is reported from the very same place.
bool deleteFile(const Reporter& reporter, const QString& path, bool remove) {
    return BRAMLOTTE_TRAP(reporter, "fDeleteFile", kModule, [&](ErrorTrap& trap) {
        BRAMLOTTE_LINE(trap);
        if (!fDoesFileExist(reporter, path)) {
            return;
        }
        BRAMLOTTE_LINE(trap);
        if (!mayWriteFile(path)) {
            fail(EACCES, path);  // not forced: a read-only file stays
        }
        if (!remove) {
            return;
        }
        QByteArray p;
        systemPath(path, p);
        if (::unlink(p.constData()) != 0) {
            fail(errno, path);
        }
    });
}

}  // namespace

void fDeleteFile(const Reporter& reporter, const QString& path) {
    deleteFile(reporter, path, true);
}

bool fMayDeleteFile(const Reporter& reporter, const QString& path) {
    return deleteFile(reporter, path, false);
}

void fCreateDirectory(const Reporter& reporter, const QString& path) {
    BRAMLOTTE_TRAP(reporter, "fCreateDirectory", kModule, [&](ErrorTrap& trap) {
        QByteArray p;
        BRAMLOTTE_LINE(trap);
        if (!systemPath(path, p)) {
            fail(EINVAL, path);
        }
        if (::mkdir(p.constData(), 0777) != 0) {
            fail(errno, path);
        }
    });
}

}  // namespace bramlotte::support
