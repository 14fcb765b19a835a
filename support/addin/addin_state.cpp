#include "support/addin/addin_state.h"

#include <stdexcept>

namespace bramlotte {

AddInState& addInState() {
    static AddInState state;
    return state;
}

support::UiToolkit& ui() {
    if (!addInState().ui) {
        throw std::logic_error("no user-interface toolkit is installed");
    }
    return *addInState().ui;
}

support::Reporter desktopReporter() {
    const AddInState& state = addInState();
    support::Reporter reporter;
    reporter.ui = state.ui.get();
    reporter.statusBar = state.statusBar;
    reporter.productName = state.productName;
    reporter.productVersion = state.productVersion;
    return reporter;
}

}  // namespace bramlotte
