#include "support/addin_state.h"

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
    return {state.ui.get(), state.statusBar, state.productName, state.productVersion};
}

}  // namespace bramlotte
