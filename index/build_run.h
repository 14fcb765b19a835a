// The build run behind "Build Index": validate, relate, deliver, tidy up.
#pragma once

#include <QStringList>

namespace bramlotte::dialog {
class frmMain;
}

namespace bramlotte::index {

struct BuildOutcome {
    enum class Result {
        Built,         // the output was delivered (or its save dialog cancelled)
        Refused,       // a check refused the request, or the user answered No
        RelateFailed,  // a Layer #2 search could not be opened
        EditFailed,    // field values could not be written
        Failed         // an unexpected failure, reported
    };
    Result result = Result::Built;
    QStringList filesWritten;
};

// Runs one build from the dialog's current controls.
BuildOutcome RunBuild(dialog::frmMain& d);

}  // namespace bramlotte::index
