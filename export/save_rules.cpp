#include "export/save_rules.h"

#include "support/files/quillmere_io.h"

namespace bramlotte::exporting {

SaveTarget TargetForName(SaveKind kind, const QString& folder, QString name, bool tabs) {
    SaveTarget target;
    target.folder = folder;
    if (kind == SaveKind::Table) {
        name.remove(QStringLiteral(".txt"));
        name.remove(QStringLiteral(".csv"));
        target.extension = tabs ? QStringLiteral(".txt") : QStringLiteral(".csv");
        target.delimiter = tabs ? QStringLiteral("\t") : QStringLiteral(",");
    } else {
        target.extension = QStringLiteral(".txt");
    }
    target.path = folder + QLatin1Char('/') + name + target.extension;
    return target;
}

bool MayReplace(const QString& path, support::UiToolkit& ui, const support::Reporter& reporter) {
    if (!support::fDoesFileExist(reporter, path)) {
        return true;
    }
    if (ui.messageBox(QStringLiteral("File already exists. Overwrite?"), support::Buttons::YesNo,
                      support::Answer::Yes) != support::Answer::Yes) {
        return false;
    }
    support::fMayDeleteFile(reporter, path);
    return true;
}

}  // namespace bramlotte::exporting
