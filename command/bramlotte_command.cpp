#include "command/bramlotte_command.h"

#include "command/command_state.h"
#include "command/frm_resources.h"
#include "dialog/frm_main.h"
#include "support/addin/addin_state.h"
#include "support/addin/frm_help.h"
#include "support/base/product.h"

namespace bramlotte {
namespace {

const QString kCategory = QStringLiteral("Quillmere");
const QString& kProductName = product::kName;

// Runs a member's body; on any failure shows the member's own box and gives
// the default result.
template <typename Result, typename Body>
Result guarded(const char* message, Result fallback, Body body) {
    try {
        return body();
    } catch (...) {
        try {
            ui().messageBox(QLatin1String(message));
        } catch (...) {
            // No desktop to tell: the host still gets its answer.
        }
        return fallback;
    }
}

}  // namespace

bool Bramlotte::Enabled() {
    return guarded("Error: ICommand_Enabled()", false, [] { return true; });
}

bool Bramlotte::Checked() {
    return guarded("Error: ICommand_Checked", false, [] { return false; });
}

QString Bramlotte::Name() {
    return guarded("Error: ICommand_Name()", QString(),
                   [] { return kCategory + QStringLiteral("_") + kProductName; });
}

QString Bramlotte::Caption() {
    return guarded("Error: ICommand_Caption()", QString(), [] { return kProductName; });
}

QString Bramlotte::Tooltip() {
    return guarded("Error: ICommand_Tooltip()", QString(),
                   [] { return kProductName + QStringLiteral(" - Build a Location Index"); });
}

QString Bramlotte::Message() {
    return guarded("Error: ICommand_Message()", QString(),
                   [] { return QStringLiteral("Quillmere: ") + support::kWebAddress; });
}

QString Bramlotte::HelpFile() {
    return guarded("Error: ICommand_HelpFile()", QString(), [] { return QString(); });
}

int32_t Bramlotte::HelpContextID() {
    return guarded("Error: ICommand_HelpContextID()", int32_t{0}, [] { return int32_t{0}; });
}

uint32_t Bramlotte::Bitmap() {
    try {
        return frmResources::instance().handle();
    } catch (...) {
        return 0;  // silent: no bitmap
    }
}

QString Bramlotte::Category() {
    return guarded("Error: ICommand_Category()", QString(), [] { return kCategory; });
}

void Bramlotte::OnCreate(QObject* hook) {
    guarded("Error: ICommand_OnCreate()", 0, [&] {
        application_ = host_.applicationFromHook(hook);
        addInState().productName = product::kName;
        addInState().productVersion = product::kVersionText;
        return 0;
    });
}

void Bramlotte::OnClick() {
    guarded("Error: ICommand_OnClick()", 0, [&] {
        CommandState& state = commandState();
        // A top-level window that deletes itself when the user closes it;
        // its frame makes it a child of the host's main window.
        auto* dialog = new dialog::frmMain();
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        state.indexDialog = dialog;
        if (!state.hostApplicationReference) {
            state.hostApplicationReference = host_.newApplicationReference();
        }
        state.hostApplication = state.hostApplicationReference->application();
        state.mapDocument = state.hostApplication->document();
        addInState().statusBar = state.hostApplication->statusBar();
        dialog->attach({state.hostApplication, state.mapDocument, state.exportTargets});
        host::HostFrame* frame = dialog->Frame();
        if (!frame) {
            throw support::Failure(support::error::kFail,
                                   QStringLiteral("The dialog has no frame."));
        }
        frame->setVisible(true);
        return 0;
    });
}

}  // namespace bramlotte
