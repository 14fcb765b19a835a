// What the command keeps while the add-in is loaded: the host references it
// reads on each click, the latest dialog, and what the save dialogs chose
// last. Each dialog is handed what it needs of it when it opens.
#pragma once

#include "export/save_target.h"
#include "map/host.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace bramlotte {

struct CommandState {
    std::shared_ptr<host::ApplicationReference> hostApplicationReference;  // first click
    std::shared_ptr<host::Application> hostApplication;                    // every click
    std::shared_ptr<host::MapDocument> mapDocument;                        // every click
    QPointer<QWidget> indexDialog;  // the latest click's dialog
    std::shared_ptr<exporting::ExportTargets> exportTargets =
        std::make_shared<exporting::ExportTargets>();
};

// The one command state of the loaded add-in.
CommandState& commandState();

}  // namespace bramlotte
