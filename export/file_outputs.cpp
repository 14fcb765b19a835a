#include "export/file_outputs.h"

namespace bramlotte::exporting {

void WriteIndexFile(const SaveTarget& target, const QStringList& lines,
                    std::optional<ExportFile>& exportFile, support::UiToolkit& ui) {
    exportFile.reset();  // one export stream at a time
    exportFile.emplace(target.folder, target.path);
    ui.setPointer(support::Pointer::Wait);
    for (const QString& line : lines) {
        exportFile->writeLine(line);
    }
    exportFile->commit();
    ui.setPointer(support::Pointer::Default);
    exportFile.reset();
}

}  // namespace bramlotte::exporting
