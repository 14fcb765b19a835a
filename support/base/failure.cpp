#include "support/base/failure.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace bramlotte::support {

Failure Failure::fromErrno(int err, const QString& path) {
    int32_t number = error::kAccessError;
    switch (err) {
        case ENOENT:
            // A missing folder on the way is a missing path, not a missing file.
            number = QFileInfo(QFileInfo(path).absolutePath()).isDir() ? error::kFileNotFound
                                                                       : error::kPathNotFound;
            break;
        case ENOTDIR:
            number = error::kPathNotFound;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = error::kPermissionDenied;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            number = error::kDiskFull;
            break;
        case EEXIST:
            number = error::kFileExists;
            break;
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            number = error::kBadFileName;
            break;
        default:
            break;
    }
    QString description = QString::fromLocal8Bit(std::strerror(err));
    // Which file the user may not touch is half of what they need to know.
    if (number == error::kPermissionDenied && !path.isEmpty()) {
        description += QStringLiteral(": ") + path;
    }
    return Failure(number, description);
}

}  // namespace bramlotte::support
