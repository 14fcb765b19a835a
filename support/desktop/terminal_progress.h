// The progress indicator of headless runs: a line on a terminal. (The QGIS
// status bar's indicator lives with the host's desktop code.)
#pragma once

#include "support/desktop/progress_indicator.h"

#include <memory>

#include <cstdio>

namespace bramlotte::support {

// Draws "message [####    ]  45%" on one line of `stream`, but only when it
// is a terminal; otherwise it stays silent.
class TerminalProgress : public ProgressIndicator {
  public:
    explicit TerminalProgress(FILE* stream = stderr);
    ~TerminalProgress() override;

    void setRange(long long low, long long high) override;
    void setStepValue(long long step) override { step_ = step; }
    void setPosition(long long position) override;
    void setMessage(const QString& message) override { message_ = message; }
    void step() override;
    void show() override;
    void hide() override;

    bool isVisible() const { return visible_; }
    long long position() const { return position_; }
    QString message() const { return message_; }

  private:
    void draw(bool force);

    FILE* stream_;
    bool terminal_;
    bool visible_ = false;
    long long low_ = 0, high_ = 100, step_ = 1, position_ = 0;
    int drawnPercent_ = -1;
    QString message_;
};

class SimpleStatusBar : public StatusBar {
  public:
    explicit SimpleStatusBar(std::unique_ptr<ProgressIndicator> indicator)
        : indicator_(std::move(indicator)) {}
    ProgressIndicator* progressIndicator() override { return indicator_.get(); }

  private:
    std::unique_ptr<ProgressIndicator> indicator_;
};

}  // namespace bramlotte::support
