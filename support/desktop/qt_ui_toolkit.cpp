#include "support/desktop/qt_ui_toolkit.h"

#include "support/desktop/qt_host_frame.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include <cstdio>

namespace bramlotte::support {

QtUiToolkit::~QtUiToolkit() {
    setPointer(Pointer::Default);
}

QWidget* QtUiToolkit::owner() const {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    // When a modal form closes, the window system may hand the focus to the
    // host's main window rather than back to the command's dialog.
    if (ownerWindow_ && ownerWindow_->isVisible()) {
        return ownerWindow_->window();
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return hostWindow_.data();
}

Answer QtUiToolkit::messageBox(const QString& text, Buttons buttons, Answer defaultAnswer) {
    QMessageBox box(
        QMessageBox::NoIcon, title_, text,
        buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner());
    if (buttons == Buttons::YesNo) {
        box.setDefaultButton(defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    }
    // The box must show the normal pointer even while the build is busy.
    const bool busy = pointer_ == Pointer::Wait;
    if (busy) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    const int result = box.exec();
    if (busy) {
        QApplication::restoreOverrideCursor();
    }
    switch (result) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Ok;
    }
}

void QtUiToolkit::setPointer(Pointer pointer) {
    if (pointer == pointer_) {
        return;
    }
    if (pointer == Pointer::Wait) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    pointer_ = pointer;
}

int QtUiToolkit::showModal(QDialog& form) {
    // A form made without a parent opens over the window the user works in,
    // centred on it and kept above it, like the message boxes.
    if (!form.parentWidget()) {
        if (QWidget* over = owner(); over && over != &form) {
            form.setParent(over, form.windowFlags());
        }
    }
    return form.exec();
}

void QtUiToolkit::notice(Notice kind, const QString& text) {
    // A desktop with a message log of its own overrides this.
    std::fprintf(stderr, "%s: %s\n", kind == Notice::Warning ? "Warning" : "Detail",
                 text.toLocal8Bit().constData());
}

void QtUiToolkit::openLink(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

std::unique_ptr<HostFrame> QtUiToolkit::newHostFrame() {
    return std::make_unique<QtHostFrame>(hostWindow_);
}

QRect QtUiToolkit::hostArea() const {
    if (hostWindow_ && hostWindow_->isVisible()) {
        return hostWindow_->frameGeometry();
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QSize QtUiToolkit::screenSize() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

}  // namespace bramlotte::support
