// The toolkit for people: Qt message boxes, cursors and the desktop's links.
#pragma once

#include "support/ui_toolkit.h"

namespace bramlotte::support {

class QtUiToolkit : public UiToolkit {
  public:
    // `title` is the add-in's default message-box title.
    explicit QtUiToolkit(QString title = QStringLiteral("Bramlotte")) : title_(std::move(title)) {}
    ~QtUiToolkit() override;
    Answer messageBox(const QString& text, Buttons buttons, Answer defaultAnswer) override;
    void setPointer(Pointer pointer) override;
    Pointer pointer() const override { return pointer_; }
    int showModal(QDialog& form) override;
    void openLink(const QString& address) override;
    QSize screenSize() const override;

  private:
    QString title_;
    Pointer pointer_ = Pointer::Default;
};

}  // namespace bramlotte::support
