// The build behind every front: check, relate, deliver, tidy up. Every way
// out leaves the default pointer and the progress indicator hidden; what
// happened, and what was said, comes back as the outcome.
#pragma once

#include "buildrun/build_context.h"
#include "buildrun/build_outcome.h"
#include "buildrun/build_request.h"

namespace bramlotte::buildrun {

// The press of "Build Index", from the dialog's choices (or the same choices
// from the command line): empties the result list, runs the checks, and
// builds the request they make.
BuildOutcome BuildIndex(const BuildChoices& choices, BuildContext& context);

// A checked request: the question before field values are overwritten (as
// the request says to answer it), the busy state, the output field's checks,
// the relate, the output and the tidy-up, with the relate failure, the edit
// failure and the general failure path.
BuildOutcome RunBuild(BuildRequest request, BuildContext& context);

}  // namespace bramlotte::buildrun
