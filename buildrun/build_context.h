// What a build talks to: the desktop (messages, questions, the pointer),
// the map, the progress indicator, where file outputs are asked for, and
// where an unexpected failure is reported.
#pragma once

#include "export/save_chooser.h"
#include "index/index_formatting.h"
#include "map/host.h"
#include "support/desktop/ui_toolkit.h"
#include "support/errors/error_handling.h"

namespace bramlotte::buildrun {

struct BuildContext {
    explicit BuildContext(support::UiToolkit& desktop) : ui(desktop) {}

    support::UiToolkit& ui;
    host::MapDocument* document = nullptr;        // the layout output's; its view is refreshed
    host::ProgressIndicator* progress = nullptr;  // a build fails without one
    // Asked where a file output goes when the request names no file.
    exporting::SaveChooser* saveChooser = nullptr;
    // The result list the lines go to (the dialog's hidden list); none: a
    // list of the build's own.
    index::ResultList* resultList = nullptr;
    // Where an unexpected failure is reported, as "procedure module line".
    support::Reporter reporter;
    const char* procedure = "btnNext_Click";
    const char* module = "frmIndex";
};

}  // namespace bramlotte::buildrun
