#include "cli/path_save_chooser.h"

#include "export/save_rules.h"
#include "support/base/failure.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace bramlotte::cli {

exporting::SaveChoice PathSaveChooser::choose(exporting::SaveKind kind) {
    QString folder = QDir::currentPath();
    QString name = QStringLiteral("Bramlotte_Output");
    if (saveAs_) {
        const QFileInfo target(*saveAs_);
        folder = QDir::cleanPath(QDir(target.absolutePath()).absolutePath());
        name = target.fileName();
        if (!QFileInfo(folder).isDir()) {
            throw support::Failure::fromErrno(ENOENT, folder + QStringLiteral("/"));
        }
    }
    const exporting::SaveTarget target = exporting::TargetForName(kind, folder, name, tabs_);
    exporting::SaveChoice choice;
    if (exporting::MayReplace(target.path, ui_, reporter_)) {
        choice.target = target;
    }
    return choice;
}

}  // namespace bramlotte::cli
