// The desktop of a Processing run: nobody to ask. Boxes are kept for the
// algorithm's error, warnings go to the feedback as they come, progress and
// Cancel go through the feedback, and an unexpected failure is reported
// into the kept boxes.
#pragma once

#include "processing/feedback_progress.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"
#include "support/errors/error_handling.h"

#include <memory>

class QgsProcessingFeedback;

namespace bramlotte::processing {

class FeedbackDesktop {
  public:
    explicit FeedbackDesktop(QgsProcessingFeedback* feedback);
    FeedbackDesktop(const FeedbackDesktop&) = delete;
    FeedbackDesktop& operator=(const FeedbackDesktop&) = delete;

    support::ScriptedUiToolkit ui;
    FeedbackProgress& progress() { return *progress_; }
    // Where unexpected failures are reported: into `ui`, as the product.
    support::Reporter reporter();

  private:
    FeedbackProgress* progress_;
    std::shared_ptr<support::SimpleStatusBar> bar_;
};

}  // namespace bramlotte::processing
