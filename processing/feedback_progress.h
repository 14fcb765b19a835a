// The build's progress indicator in a Processing run: the algorithm's
// feedback shows the message and the percentage, and a cancel there stops
// the build at its next step.
#pragma once

#include "support/desktop/progress_indicator.h"

class QgsProcessingFeedback;

namespace bramlotte::processing {

class FeedbackProgress : public support::ProgressIndicator {
  public:
    // `feedback` may be null: nothing is shown and nothing cancels.
    explicit FeedbackProgress(QgsProcessingFeedback* feedback) : feedback_(feedback) {}

    void setRange(long long low, long long high) override;
    void setStepValue(long long step) override { step_ = step; }
    void setPosition(long long position) override;
    void setMessage(const QString& message) override;
    // Moves on one step; throws support::Failure once the feedback has been
    // cancelled, which fails the build as any failure does: a field output's
    // edit is rolled back and a file output never replaces its target.
    void step() override;
    void show() override {}
    void hide() override {}

    // Whether the run was cancelled (the build then failed for that reason).
    bool cancelled() const;

  private:
    void report();

    QgsProcessingFeedback* feedback_;
    long long low_ = 0, high_ = 100, step_ = 1, position_ = 0;
    int shownPercent_ = -1;  // the feedback hears of whole percents only
};

}  // namespace bramlotte::processing
