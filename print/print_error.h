// The one error the print-ready engines raise: a request they cannot carry
// out (a size of zero, a grid too large, columns too narrow for the font),
// with a message fit to show the user as it is.
#pragma once

#include <QString>

#include <stdexcept>

namespace bramlotte::print {

class PrintError : public std::runtime_error {
  public:
    explicit PrintError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

  private:
    QString message_;
};

}  // namespace bramlotte::print
