#include "cli/standard_output.h"

#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bramlotte::cli {

StandardOutput::StandardOutput() {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 StandardOutput::writeData(const char* data, qint64 size) {
    qint64 left = size;
    while (left > 0 && error_ == 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        left -= n;
    }
    // What could not be written is lost either way; taking it keeps the
    // text stream from holding it and trying again.
    return size;
}

QString StandardOutput::finish() {
    int err = error_;
    errno = 0;
    if (std::fflush(stdout) != 0 && err == 0) {
        err = errno != 0 ? errno : EIO;
    }
    if (std::ferror(stdout) && err == 0) {
        err = EIO;
    }
    errno = 0;
    if (std::fclose(stdout) != 0 && err == 0) {
        err = errno != 0 ? errno : EIO;
    }
    close();
    return err == 0 ? QString() : QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace bramlotte::cli
