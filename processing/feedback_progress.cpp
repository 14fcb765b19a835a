#include "processing/feedback_progress.h"

#include "support/base/failure.h"

#include <qgsprocessingfeedback.h>

#include <algorithm>

namespace bramlotte::processing {
void FeedbackProgress::setRange(long long low, long long high) {
    low_ = low;
    high_ = std::max(low, high);
    report();
}

void FeedbackProgress::setPosition(long long position) {
    position_ = position;
    report();
}

void FeedbackProgress::setMessage(const QString& message) {
    if (feedback_) {
        feedback_->setProgressText(message);
    }
}

void FeedbackProgress::step() {
    position_ += step_;
    report();
    if (cancelled()) {
        throw support::Failure(support::error::kCancelled,
                               QStringLiteral("The build was cancelled."));
    }
}

bool FeedbackProgress::cancelled() const {
    return feedback_ && feedback_->isCanceled();
}

void FeedbackProgress::report() {
    if (!feedback_) {
        return;
    }
    // A build of n features steps from the low end of the range past its
    // high end; the share of the range done, capped at 100.
    const long long span = high_ - low_ + 1;
    const long long done = std::clamp(position_ - low_, 0LL, span);
    const int percent = static_cast<int>(done * 100 / span);
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        feedback_->setProgress(percent);
    }
}

}  // namespace bramlotte::processing
