// The toolkit for scripts and tests: it records every message, answers
// questions from a queue, and hands modal forms to a script.
#pragma once

#include "support/desktop/ui_toolkit.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace bramlotte::support {

class ScriptedUiToolkit : public UiToolkit {
  public:
    struct Message {
        QString text;
        Buttons buttons;
        Answer answer;
    };
    struct Note {
        Notice kind;
        QString text;
    };

    // Answers for Yes/No questions, taken in order; when the queue is empty
    // a question gets `fallbackAnswer`.
    void queueAnswer(Answer answer) { answers_.push_back(answer); }
    void setFallbackAnswer(Answer answer) { fallback_ = answer; }
    // Called with every message as it is shown (the command line prints it).
    void setEcho(std::function<void(const Message&)> echo) { echo_ = std::move(echo); }
    // Called with every note as it is passed on.
    void setNoteEcho(std::function<void(const Note&)> echo) { noteEcho_ = std::move(echo); }
    // Plays the user's part in a modal form; returns the dialog's result.
    void setFormScript(std::function<int(QDialog&)> script) { formScript_ = std::move(script); }

    const std::vector<Message>& messages() const { return messages_; }
    const std::vector<Note>& notes() const { return notes_; }
    QStringList messageTexts() const;
    void clearMessages() { messages_.clear(); }
    const QStringList& openedLinks() const { return links_; }
    // Every pointer change, in order.
    const std::vector<Pointer>& pointerHistory() const { return pointerHistory_; }

    Answer messageBox(const QString& text, Buttons buttons, Answer defaultAnswer) override;
    void setPointer(Pointer pointer) override;
    Pointer pointer() const override { return pointer_; }
    int showModal(QDialog& form) override;
    void openLink(const QString& address) override { links_ << address; }
    void notice(Notice kind, const QString& text) override;
    QSize screenSize() const override { return screen_; }
    QRect hostArea() const override { return QRect(QPoint(0, 0), screen_); }
    // Frames are real windows, offscreen, with no host window above them.
    std::unique_ptr<HostFrame> newHostFrame() override;

  private:
    std::deque<Answer> answers_;
    Answer fallback_ = Answer::No;
    std::function<void(const Message&)> echo_;
    std::function<void(const Note&)> noteEcho_;
    std::vector<Note> notes_;
    std::function<int(QDialog&)> formScript_;
    std::vector<Message> messages_;
    QStringList links_;
    Pointer pointer_ = Pointer::Default;
    std::vector<Pointer> pointerHistory_;
    QSize screen_{1280, 800};
};

}  // namespace bramlotte::support
