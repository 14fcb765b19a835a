// Failures of the file system, with a stable number per kind and the
// system's own description.
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace bramlotte::support {

namespace fs_error {
constexpr int32_t kBadFileName = 52;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kFileExists = 58;
constexpr int32_t kDiskFull = 61;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kAccessError = 75;
constexpr int32_t kPathNotFound = 76;
}  // namespace fs_error

class FileSystemError : public std::runtime_error {
  public:
    FileSystemError(int32_t number, const QString& description)
        : std::runtime_error(description.toStdString()),
          number_(number),
          description_(description) {}

    // The failure that `err` (an errno value) means for an operation on `path`.
    static FileSystemError fromErrno(int err, const QString& path);

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }

  private:
    int32_t number_;
    QString description_;
};

}  // namespace bramlotte::support
