// The build run behind "Build Index": check, relate, deliver, tidy up.
// Every way out leaves the default pointer and the progress indicator
// hidden; what happened comes back as the outcome.
#pragma once

#include "buildrun/build_context.h"
#include "buildrun/build_outcome.h"
#include "buildrun/build_request.h"

namespace bramlotte::buildrun {

// The press of "Build Index": empties the result list, runs the checks on
// the dialog's choices, asks before field values are overwritten, and runs
// the build.
BuildOutcome BuildIndex(const BuildChoices& choices, BuildContext& context);

// A checked request: the busy state, the output field's checks, the relate,
// the output and the tidy-up, with the relate failure, the edit failure
// and the general failure path.
BuildOutcome RunBuild(const BuildRequest& request, BuildContext& context);

}  // namespace bramlotte::buildrun
