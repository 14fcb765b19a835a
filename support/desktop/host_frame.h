// A modeless host window that shows one form over the host.
#pragma once

#include <QString>

class QWidget;

namespace bramlotte::support {

class HostFrame {
  public:
    virtual ~HostFrame() = default;
    // Binds the form to this frame; creating the form's window runs its load.
    virtual void create(QWidget& form) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void setVisible(bool visible) = 0;
    // In pixels; a width or height of 0 keeps the form's own.
    virtual void move(int left, int top, int width, int height) = 0;
};

}  // namespace bramlotte::support
