// What `bramlotte --help` and each command's `--help` print.
#pragma once

#include <QString>

namespace bramlotte::cli {

// The program's overview: every command in one line or two.
QString overviewUsage();

// The help of `command` ("build", "layers", …): its line of usage and what
// each option means; the overview for a command the program does not have.
QString commandUsage(const QString& command);

}  // namespace bramlotte::cli
