// The user-interface toolkit seam: the few things the forms and procedures
// ask of the desktop. QtUiToolkit serves people; ScriptedUiToolkit serves the
// command-line program and the tests.
#pragma once

#include "support/desktop/host_frame.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class QDialog;
class QWidget;

namespace bramlotte::support {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };
enum class Pointer { Default, Wait };
// A note beside the messages: a warning that does not stop the work, or the
// data source's own words behind a failure whose message is fixed.
enum class Notice { Warning, Detail };

class UiToolkit {
  public:
    virtual ~UiToolkit() = default;
    // A plain box: no icon, no title of its own. Waits for the answer.
    virtual Answer messageBox(const QString& text, Buttons buttons = Buttons::Ok,
                              Answer defaultAnswer = Answer::Ok) = 0;
    virtual void setPointer(Pointer pointer) = 0;
    virtual Pointer pointer() const = 0;
    // Shows a form modally; returns the dialog's result code.
    virtual int showModal(QDialog& form) = 0;
    virtual void openLink(const QString& address) = 0;
    // The window whose command is running (the dialog whose button was
    // pressed): its messages and forms open over it. nullptr: none.
    virtual void setOwnerWindow(QWidget* window) { (void)window; }
    virtual QSize screenSize() const = 0;
    // Where windows of the add-in open: the host's main window, or the
    // screen where there is none.
    virtual QRect hostArea() const = 0;
    // Passes a note on without waiting: the command line writes it on
    // standard error, the desktop in its message log.
    virtual void notice(Notice kind, const QString& text) = 0;
    // A new host frame, over the host's main window.
    virtual std::unique_ptr<HostFrame> newHostFrame() = 0;
};

}  // namespace bramlotte::support
