// The progress indicator of the host's status bar: a range, a message and
// steps. The desktop shows a bar; the command line a line on a terminal.
#pragma once

#include <QString>

namespace bramlotte::support {

class ProgressIndicator {
  public:
    virtual ~ProgressIndicator() = default;
    virtual void setRange(long long low, long long high) = 0;
    virtual void setStepValue(long long step) = 0;
    virtual void setPosition(long long position) = 0;
    virtual void setMessage(const QString& message) = 0;
    virtual void step() = 0;
    virtual void show() = 0;
    virtual void hide() = 0;  // callable at any time
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;
    virtual ProgressIndicator* progressIndicator() = 0;
};

}  // namespace bramlotte::support
