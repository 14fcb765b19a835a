#include "support/file_system_error.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace bramlotte::support {

FileSystemError FileSystemError::fromErrno(int err, const QString& path) {
    int32_t number = fs_error::kAccessError;
    switch (err) {
        case ENOENT:
            // A missing folder on the way is a missing path, not a missing file.
            number = QFileInfo(QFileInfo(path).absolutePath()).isDir() ? fs_error::kFileNotFound
                                                                       : fs_error::kPathNotFound;
            break;
        case ENOTDIR:
            number = fs_error::kPathNotFound;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = fs_error::kPermissionDenied;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            number = fs_error::kDiskFull;
            break;
        case EEXIST:
            number = fs_error::kFileExists;
            break;
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            number = fs_error::kBadFileName;
            break;
        default:
            break;
    }
    return FileSystemError(number, QString::fromLocal8Bit(std::strerror(err)));
}

}  // namespace bramlotte::support
