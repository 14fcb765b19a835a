#include "support/error_trap.h"

#include "map/host.h"
#include "support/error_handling.h"
#include "support/file_system_error.h"

#include <exception>
#include <new>

namespace bramlotte::support {

bool trapErrors(const char* procedure, const char* module, int firstLine,
                const std::function<void(ErrorTrap&)>& body, const std::function<void()>& tidyUp) {
    ErrorTrap trap(firstLine);
    int32_t number = 0;
    QString description;
    try {
        body(trap);
        return true;
    } catch (const host::HostError& e) {
        number = e.number();
        description = e.description();
    } catch (const FileSystemError& e) {
        number = e.number();
        description = e.description();
    } catch (const std::bad_alloc&) {
        number = kOutOfMemory;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        number = kInternalError;
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        number = kInternalError;
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
    ReportUnexpectedError(location, number, description);
    return false;
}

}  // namespace bramlotte::support
