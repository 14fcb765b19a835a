#include "processing/feedback_desktop.h"

#include "support/base/product.h"

#include <qgsprocessingfeedback.h>

namespace bramlotte::processing {

FeedbackDesktop::FeedbackDesktop(QgsProcessingFeedback* feedback) {
    ui.setNoteEcho([feedback](const support::ScriptedUiToolkit::Note& n) {
        if (feedback && n.kind == support::Notice::Warning) {
            feedback->pushWarning(n.text);
        }
    });
    auto progress = std::make_unique<FeedbackProgress>(feedback);
    progress_ = progress.get();
    bar_ = std::make_shared<support::SimpleStatusBar>(std::move(progress));
}

support::Reporter FeedbackDesktop::reporter() {
    support::Reporter reporter;
    reporter.ui = &ui;
    reporter.statusBar = bar_;
    reporter.productName = product::kName;
    reporter.productVersion = product::kVersionText;
    return reporter;
}

}  // namespace bramlotte::processing
