#include "export/save_chooser.h"

#include "export/frm_load_dir.h"
#include "support/addin/addin_state.h"

namespace bramlotte::exporting {

SaveChoice FormSaveChooser::choose(SaveKind kind) {
    std::unique_ptr<frmLoadDir> form;
    if (kind == SaveKind::Table) {
        form = std::make_unique<frmExportTable>();
    } else {
        form = std::make_unique<frmExportFile>();
    }
    ui().showModal(*form);
    SaveChoice choice;
    choice.failureReported = form->failureReported();
    if (form->saved()) {
        choice.target = form->target();
        if (kind == SaveKind::Table) {
            targets_.ExportTablePath = choice.target->path;
            targets_.ExportTableExtension = choice.target->extension;
            targets_.ExportTableDelimiter = choice.target->delimiter;
        } else {
            targets_.ExportTextPath = choice.target->path;
        }
    }
    return choice;
}

}  // namespace bramlotte::exporting
