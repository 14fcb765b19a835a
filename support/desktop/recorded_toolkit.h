// A desktop that keeps the text of every box and note it passes on to
// another: what one piece of work said, as values.
#pragma once

#include "support/desktop/ui_toolkit.h"

#include <QStringList>

namespace bramlotte::support {

class RecordedToolkit : public UiToolkit {
  public:
    explicit RecordedToolkit(UiToolkit& shown) : shown_(shown) {}

    QStringList messages, warnings, details;

    Answer messageBox(const QString& text, Buttons buttons, Answer defaultAnswer) override {
        messages << text;
        return shown_.messageBox(text, buttons, defaultAnswer);
    }
    void setPointer(Pointer pointer) override { shown_.setPointer(pointer); }
    Pointer pointer() const override { return shown_.pointer(); }
    int showModal(QDialog& form) override { return shown_.showModal(form); }
    void openLink(const QString& address) override { shown_.openLink(address); }
    void setOwnerWindow(QWidget* window) override { shown_.setOwnerWindow(window); }
    QSize screenSize() const override { return shown_.screenSize(); }
    QRect hostArea() const override { return shown_.hostArea(); }
    void notice(Notice kind, const QString& text) override {
        (kind == Notice::Warning ? warnings : details) << text;
        shown_.notice(kind, text);
    }
    std::unique_ptr<HostFrame> newHostFrame() override { return shown_.newHostFrame(); }

  private:
    UiToolkit& shown_;
};

}  // namespace bramlotte::support
