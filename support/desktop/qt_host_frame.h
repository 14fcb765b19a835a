// A host frame on Qt: the form becomes a top-level window over the host's
// main window (when there is one), modeless.
#pragma once

#include "support/desktop/host_frame.h"

#include <QPointer>
#include <QWidget>

namespace bramlotte::support {

class QtHostFrame : public HostFrame {
  public:
    explicit QtHostFrame(QWidget* hostWindow) : hostWindow_(hostWindow) {}
    // Makes `form` a window over the host and runs its Form_Load, once.
    void create(QWidget& form) override;
    void setCaption(const QString& caption) override;
    void setVisible(bool visible) override;
    void move(int left, int top, int width, int height) override;

  private:
    QWidget& form() const;
    QPointer<QWidget> hostWindow_;
    QPointer<QWidget> form_;
};

}  // namespace bramlotte::support
