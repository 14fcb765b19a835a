// The shared add-in state: one set of values per loaded add-in, read by the
// command, every window and every procedure.
#pragma once

#include "map/host.h"
#include "support/ui_toolkit.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace bramlotte {

struct AddInState {
    QString productName;     // "Bramlotte" once the command is created
    QString productVersion;  // "v2.03" once the command is created
    std::shared_ptr<host::ApplicationReference> hostApplicationReference;  // first click
    std::shared_ptr<host::Application> hostApplication;                    // every click
    std::shared_ptr<host::MapDocument> mapDocument;                        // every click
    QPointer<QWidget> indexDialog;  // the latest click's dialog
    // Where the save dialogs chose to save (kept between openings).
    QString ExportTablePath;
    QString ExportTableExtension;
    QString ExportTableDelimiter;
    QString ExportTextPath;
    QString ExportFolder;  // the folder the latest saved dialog was in
    // The desktop the add-in runs on (Qt for people, scripted for the
    // command line and tests).
    std::shared_ptr<support::UiToolkit> ui;
};

// The one state of the loaded add-in.
AddInState& addInState();

// The state's toolkit; throws when none has been installed.
support::UiToolkit& ui();

}  // namespace bramlotte
