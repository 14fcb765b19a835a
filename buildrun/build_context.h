// What a build talks to: the desktop, the map, the status bar's progress
// indicator, the save dialogs and the dialog's result list.
#pragma once

#include "buildrun/print_options.h"
#include "export/save_chooser.h"
#include "index/index_formatting.h"
#include "map/host.h"
#include "support/ui_toolkit.h"

namespace bramlotte::buildrun {

struct BuildContext {
    support::UiToolkit& ui;                       // messages, questions, the pointer
    host::MapDocument* document = nullptr;        // the map the dialog was opened over
    host::ProgressIndicator* progress = nullptr;  // the status bar's
    exporting::SaveChooser& saveChooser;          // where the file outputs go
    index::ResultList& resultList;                // the dialog's hidden, sorted list
    PrintOptions print = {};                      // beyond the dialog's choices
};

}  // namespace bramlotte::buildrun
