#include "export/export_file.h"

#include "export/text_encoding.h"
#include "support/failure.h"
#include "support/quillmere_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace bramlotte::exporting {
namespace {

constexpr int kBufferSize = 1 << 16;

using support::Failure;

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
    if (target.exists() && (!target.isFile() || !support::mayWriteFile(path))) {
        throw support::Failure::fromErrno(target.isDir() ? EISDIR : EACCES, path);
    }
    temporary_ = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                   target.fileName() + QStringLiteral(".XXXXXX"));
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        const int err = errno;
        temporary_.clear();
        throw support::Failure::fromErrno(err, path);
    }
    // The new file gets the target's mode, or the usual one for a new file.
    mode_t mode = 0666;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd_, mode);
    buffer_.reserve(kBufferSize);
}

ExportFile::~ExportFile() {
    if (!committed_) {
        discard();
    }
}

void ExportFile::writeLine(const QString& line) {
    buffer_ += encodeForLocale(line);
    buffer_ += "\r\n";
    if (buffer_.size() >= kBufferSize) {
        flush();
    }
}

void ExportFile::flush() {
    const char* data = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw support::Failure::fromErrno(errno, path_);
        }
        data += n;
        left -= n;
    }
    buffer_.clear();
}

void ExportFile::commit() {
    flush();
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        throw support::Failure::fromErrno(errno, path_);
    }
    fd_ = -1;
    if (::rename(temporary_.constData(), QFile::encodeName(path_).constData()) != 0) {
        throw support::Failure::fromErrno(errno, path_);
    }
    committed_ = true;
}

void ExportFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
    }
}

}  // namespace bramlotte::exporting
