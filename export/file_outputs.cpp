#include "export/file_outputs.h"

#include "command/addin_state.h"
#include "export/frm_load_dir.h"

namespace bramlotte::exporting {
namespace {

// Opens the dialog modally; true when it closed through Save.
template <typename Form>
bool chooseTarget() {
    ui().setPointer(support::Pointer::Default);
    Form form;
    ui().showModal(form);
    return form.saved();
}

void writeAll(const QString& path, const QStringList& lines, std::optional<ExportFile>& exportFile,
              QStringList& written) {
    exportFile.reset();  // one export stream at a time
    exportFile.emplace(addInState().ExportFolder, path);
    ui().setPointer(support::Pointer::Wait);
    for (const QString& line : lines) {
        exportFile->writeLine(line);
    }
    exportFile->commit();
    ui().setPointer(support::Pointer::Default);
    exportFile.reset();
    written << path;
}

}  // namespace

void TextFileBranch(const index::ResultList& lines, std::optional<ExportFile>& exportFile,
                    QStringList& written) {
    if (!chooseTarget<frmExportFile>()) {
        return;
    }
    writeAll(addInState().ExportTextPath, lines.lines(), exportFile, written);
}

void TableBranch(const index::IndexMap& map, std::optional<ExportFile>& exportFile,
                 QStringList& written) {
    if (!chooseTarget<frmExportTable>()) {
        return;
    }
    writeAll(addInState().ExportTablePath, index::TableRows(map, addInState().ExportTableDelimiter),
             exportFile, written);
}

}  // namespace bramlotte::exporting
