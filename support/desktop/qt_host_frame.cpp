#include "support/desktop/qt_host_frame.h"

#include "support/base/failure.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

namespace bramlotte::support {
namespace {

QRect screenArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QWidget& QtHostFrame::form() const {
    if (!form_) {
        throw Failure(error::kFail, QStringLiteral("The window no longer exists."));
    }
    return *form_;
}

void QtHostFrame::create(QWidget& form) {
    if (form_) {
        return;  // bound once
    }
    form_ = &form;
    const QSize size = form.size();
    // A form opened by another window stays that window's; others stand
    // over the host.
    QWidget* owner = form.parentWidget() ? form.parentWidget() : hostWindow_.data();
    form.setParent(owner, Qt::Window);
    form.resize(size);
    // A window of its own opens where the system puts new windows, often the
    // screen's corner: start centred over the owner (or the screen). A form
    // that places itself moves on from here.
    const QRect over = owner ? owner->window()->frameGeometry() : screenArea();
    if (over.isValid()) {
        form.move(over.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    // The window exists now: the form loads, as a form does when its window
    // is created. Forms without a load have nothing to do.
    if (form.metaObject()->indexOfMethod("Form_Load()") >= 0) {
        QMetaObject::invokeMethod(&form, "Form_Load", Qt::DirectConnection);
    }
}

void QtHostFrame::setCaption(const QString& caption) {
    form().setWindowTitle(caption);
}

void QtHostFrame::setVisible(bool visible) {
    form().setVisible(visible);
}

void QtHostFrame::move(int left, int top, int width, int height) {
    QWidget& f = form();
    f.move(left, top);
    if (width > 0 && height > 0) {
        f.resize(width, height);
    }
}

}  // namespace bramlotte::support
