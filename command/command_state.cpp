#include "command/command_state.h"

namespace bramlotte {

CommandState& commandState() {
    static CommandState state;
    return state;
}

}  // namespace bramlotte
