#include "support/desktop/scripted_ui_toolkit.h"

#include "support/desktop/qt_host_frame.h"

#include <QDialog>

namespace bramlotte::support {

QStringList ScriptedUiToolkit::messageTexts() const {
    QStringList texts;
    for (const Message& m : messages_) {
        texts << m.text;
    }
    return texts;
}

Answer ScriptedUiToolkit::messageBox(const QString& text, Buttons buttons, Answer) {
    Answer answer = Answer::Ok;
    if (buttons == Buttons::YesNo) {
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        } else {
            answer = fallback_;
        }
    }
    messages_.push_back({text, buttons, answer});
    if (echo_) {
        echo_(messages_.back());
    }
    return answer;
}

void ScriptedUiToolkit::notice(Notice kind, const QString& text) {
    notes_.push_back({kind, text});
    if (noteEcho_) {
        noteEcho_(notes_.back());
    }
}

void ScriptedUiToolkit::setPointer(Pointer pointer) {
    pointer_ = pointer;
    pointerHistory_.push_back(pointer);
}

std::unique_ptr<HostFrame> ScriptedUiToolkit::newHostFrame() {
    return std::make_unique<QtHostFrame>(nullptr);
}

int ScriptedUiToolkit::showModal(QDialog& form) {
    // Without a script nobody is there to press a button: the form is cancelled.
    return formScript_ ? formScript_(form) : QDialog::Rejected;
}

}  // namespace bramlotte::support
