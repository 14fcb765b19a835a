#include "support/errors/error_trap.h"

#include "support/base/failure.h"
#include "support/errors/error_handling.h"

#include <exception>
#include <new>

namespace bramlotte::support {

bool trapErrors(const Reporter& reporter, const char* procedure, const char* module, int firstLine,
                const std::function<void(ErrorTrap&)>& body, const std::function<void()>& tidyUp) {
    ErrorTrap trap(firstLine);
    int32_t number = 0;
    QString description;
    try {
        body(trap);
        return true;
    } catch (const Failure& e) {
        number = e.number();
        description = e.description();
    } catch (const std::bad_alloc&) {
        number = error::kOutOfMemory;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        number = error::kInternalError;
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        number = error::kInternalError;
        description = QStringLiteral("Unknown failure");
    }
    if (tidyUp) {
        try {
            tidyUp();
        } catch (...) {
            // The report matters more than a tidy-up that fails too.
        }
    }
    const QString location =
        QStringLiteral("%1 %2 %3")
            .arg(QLatin1String(procedure), QLatin1String(module), FormatErrorLine(trap.line()));
    ReportUnexpectedError(reporter, location, number, description);
    return false;
}

}  // namespace bramlotte::support
