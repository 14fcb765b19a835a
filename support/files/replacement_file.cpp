#include "support/files/replacement_file.h"

#include "support/base/failure.h"
#include "support/files/quillmere_io.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace bramlotte::support {
namespace {

// Makes a rename in `folder` durable. A folder that cannot be synced (some
// file systems refuse) changes nothing: the file is in place already.
void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

long maxNameLength(const QString& folder) {
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : NAME_MAX;
}

QByteArray temporaryNameFor(const QByteArray& name, const ReplacementFile::Naming& naming,
                            long nameMax) {
    const QByteArray lead = naming.hidden ? QByteArray(".") : QByteArray();
    const QByteArray tail = QByteArray(".XXXXXX") + naming.suffix;
    const long room = nameMax - naming.spare - lead.size() - tail.size();
    int kept = room <= 0 ? 0 : static_cast<int>(std::min<long>(name.size(), room));
    // Never end inside a character: drop the lead bytes of a cut one.
    while (kept > 0 && kept < name.size() && (static_cast<uchar>(name[kept]) & 0xC0) == 0x80) {
        --kept;
    }
    return lead + name.left(kept) + tail;
}

ReplacementFile::ReplacementFile(const QString& target, const Naming& naming) : target_(target) {
    const QFileInfo info(target);
    const QByteArray path = QFile::encodeName(target);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || !mayWriteFile(target)) {
            throw Failure::fromErrno(S_ISDIR(st.st_mode) ? EISDIR : EACCES, target);
        }
        // The new file takes the place of this one: its mode, its owner.
        mode_ = st.st_mode & 07777;
        keepOwner_ = ::geteuid() == 0;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    const QString folder = info.absolutePath();
    QByteArray name =
        QFile::encodeName(folder) + '/' +
        temporaryNameFor(QFile::encodeName(info.fileName()), naming, maxNameLength(folder));
    ScratchFileBeingMade beingMade;
    fd_ = ::mkostemps(name.data(), static_cast<int>(naming.suffix.size()), O_CLOEXEC);
    if (fd_ < 0) {
        throw Failure::fromErrno(errno, target);
    }
    scratch_ = ScratchFile(std::move(name));
    if (keepOwner_) {
        (void)::fchown(fd_, uid_, gid_);  // best effort: the mode matters more
    }
    ::fchmod(fd_, mode_);
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    // scratch_ removes the temporary file unless it was put in place.
}

QString ReplacementFile::temporaryFilePath() const {
    return QFile::decodeName(scratch_.path());
}

void ReplacementFile::write(const char* data, qsizetype size) {
    if (fd_ < 0) {
        throw Failure::fromErrno(EBADF, target_);
    }
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Failure::fromErrno(errno, target_);
        }
        data += n;
        size -= n;
    }
}

void ReplacementFile::closeDescriptor() {
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            throw Failure::fromErrno(errno, target_);
        }
    }
}

void ReplacementFile::commit() {
    if (scratch_.isEmpty()) {
        throw Failure(error::kFail,
                      QStringLiteral("The file %1 has been put in place already.").arg(target_));
    }
    if (fd_ < 0) {
        fd_ = ::open(scratch_.path().constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            throw Failure::fromErrno(errno, target_);
        }
    }
    // Again: a writer that wrote by name may have made the file anew.
    if (keepOwner_) {
        (void)::fchown(fd_, uid_, gid_);
    }
    ::fchmod(fd_, mode_);
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        throw Failure::fromErrno(err, target_);
    }
    if (::close(fd) != 0) {
        throw Failure::fromErrno(errno, target_);
    }
    if (::rename(scratch_.path().constData(), QFile::encodeName(target_).constData()) != 0) {
        throw Failure::fromErrno(errno, target_);
    }
    scratch_.keep();
    syncFolder(QFileInfo(target_).absolutePath());
}

}  // namespace bramlotte::support
