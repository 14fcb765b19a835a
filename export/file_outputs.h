// The writers of the two file outputs: the text file and the table.
#pragma once

#include "export/export_file.h"
#include "export/save_target.h"
#include "support/desktop/ui_toolkit.h"

#include <QStringList>

#include <optional>

namespace bramlotte::exporting {

// Writes `lines` (result lines or table rows), each followed by CR LF, to
// the target. `exportFile` is the build's one export file: open while the
// lines are written, so that every way out of the build closes it, and the
// target is replaced only once every line is on disk. Shows the wait pointer
// while it writes. Throws support::Failure when the file cannot be written.
void WriteIndexFile(const SaveTarget& target, const QStringList& lines,
                    std::optional<ExportFile>& exportFile, support::UiToolkit& ui);

}  // namespace bramlotte::exporting
