// The calling convention of every procedure that traps its failures: run
// the whole body, and on a failure report it with the procedure's location
// and end normally.
//
// Line numbers need no hand numbering: a procedure marks its statements with
// BRAMLOTTE_LINE(trap), and a failure reports the line of the last marked
// statement counted from the line where the trap was opened (0 when no
// statement was marked yet).
#pragma once

#include "support/errors/error_handling.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace bramlotte::support {

class ErrorTrap {
  public:
    explicit ErrorTrap(int firstLine) : firstLine_(firstLine) {}
    void at(int sourceLine) { line_ = sourceLine - firstLine_; }
    int32_t line() const { return line_; }

  private:
    int firstLine_;
    int32_t line_ = 0;
};

#define BRAMLOTTE_LINE(trap) (trap).at(__LINE__)

// Runs `body`; a failure of any kind is reported to `reporter` with the
// location "procedure module line-text", after `tidyUp` (when given) has
// run. Returns true when the body ran to its end.
bool trapErrors(const Reporter& reporter, const char* procedure, const char* module, int firstLine,
                const std::function<void(ErrorTrap&)>& body,
                const std::function<void()>& tidyUp = {});

#define BRAMLOTTE_TRAP(reporter, procedure, module, ...) \
    ::bramlotte::support::trapErrors(reporter, procedure, module, __LINE__, __VA_ARGS__)

}  // namespace bramlotte::support
