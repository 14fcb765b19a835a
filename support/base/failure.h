// The one failure type of the add-in: a run-time error with a number and a
// description, as the error box shows it. Host calls, file-system calls and
// the build's own checks all throw it.
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace bramlotte::support {

// Failure numbers. Host failures carry negative numbers, as the host's own
// error codes do; the generic one has the value of the host's E_FAIL.
namespace error {
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
constexpr int32_t kNotFound = static_cast<int32_t>(0x80040111u);
constexpr int32_t kRelationUndefined = static_cast<int32_t>(0x80040258u);
constexpr int32_t kConversion = static_cast<int32_t>(0x80040952u);
constexpr int32_t kWriteFailed = static_cast<int32_t>(0x80040953u);
constexpr int32_t kReadFailed = static_cast<int32_t>(0x80040954u);
constexpr int32_t kCancelled = static_cast<int32_t>(0x80004004u);  // the user stopped the run
// Run-time errors of the language and of the file system.
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kInternalError = 51;
constexpr int32_t kBadFileName = 52;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kFileExists = 58;
constexpr int32_t kDiskFull = 61;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kAccessError = 75;
constexpr int32_t kPathNotFound = 76;
}  // namespace error

class Failure : public std::runtime_error {
  public:
    Failure(int32_t number, const QString& description)
        : std::runtime_error(description.toStdString()),
          number_(number),
          description_(description) {}

    // The failure that `err` (an errno value) means for an operation on `path`.
    static Failure fromErrno(int err, const QString& path);

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }

  private:
    int32_t number_;
    QString description_;
};

}  // namespace bramlotte::support
