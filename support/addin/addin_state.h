// The shared add-in state: what every window and procedure of the loaded
// add-in reads. The command sets it when it is created and on each click.
#pragma once

#include "support/desktop/progress_indicator.h"
#include "support/desktop/ui_toolkit.h"
#include "support/errors/error_handling.h"

#include <QString>

#include <memory>

namespace bramlotte {

struct AddInState {
    QString productName;     // the product's name once the command is created
    QString productVersion;  // its version text once the command is created
    // The host application's status bar, as of the latest click; the error
    // reporter hides its progress indicator.
    std::shared_ptr<support::StatusBar> statusBar;
    // The desktop the add-in runs on (Qt for people, scripted for the
    // command line and tests).
    std::shared_ptr<support::UiToolkit> ui;
};

// The one state of the loaded add-in.
AddInState& addInState();

// The state's toolkit; throws when none has been installed.
support::UiToolkit& ui();

// Where the add-in's own windows report unexpected failures: the state's
// desktop, status bar and product, as they are at the moment of the report.
support::Reporter desktopReporter();

}  // namespace bramlotte
