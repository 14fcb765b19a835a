// Progress indicators of the host: a line on a terminal for headless runs.
// (The QGIS status bar's indicator lives with the plugin's desktop code.)
#pragma once

#include "map/host.h"

#include <cstdio>

namespace bramlotte::qgishost {

// Draws "message [####    ]  45%" on one line of `stream`, but only when it
// is a terminal; otherwise it stays silent.
class TerminalProgress : public host::ProgressIndicator {
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

class SimpleStatusBar : public host::StatusBar {
  public:
    explicit SimpleStatusBar(std::unique_ptr<host::ProgressIndicator> indicator)
        : indicator_(std::move(indicator)) {}
    host::ProgressIndicator* progressIndicator() override { return indicator_.get(); }

  private:
    std::unique_ptr<host::ProgressIndicator> indicator_;
};

}  // namespace bramlotte::qgishost
