// The toolkit for people: Qt message boxes, cursors and the desktop's links.
#pragma once

#include "support/base/product.h"
#include "support/desktop/ui_toolkit.h"

#include <QPointer>
#include <QWidget>

namespace bramlotte::support {

class QtUiToolkit : public UiToolkit {
  public:
    // `title` is the add-in's default message-box title.
    // `hostWindow` is the host's main window, under which forms open.
    explicit QtUiToolkit(QWidget* hostWindow = nullptr, QString title = product::kName)
        : hostWindow_(hostWindow), title_(std::move(title)) {}
    ~QtUiToolkit() override;
    Answer messageBox(const QString& text, Buttons buttons, Answer defaultAnswer) override;
    void setPointer(Pointer pointer) override;
    Pointer pointer() const override { return pointer_; }
    int showModal(QDialog& form) override;
    void openLink(const QString& address) override;
    void setOwnerWindow(QWidget* window) override { ownerWindow_ = window; }
    QSize screenSize() const override;
    QRect hostArea() const override;
    void notice(Notice kind, const QString& text) override;
    std::unique_ptr<HostFrame> newHostFrame() override;

  private:
    // The window the user works in: the modal one, else the running
    // command's, else the active one, else the host's main window. Boxes and
    // forms open over it.
    QWidget* owner() const;

    QPointer<QWidget> hostWindow_;
    QPointer<QWidget> ownerWindow_;
    QString title_;
    Pointer pointer_ = Pointer::Default;
};

}  // namespace bramlotte::support
