#include "support/qt_host_frame.h"

#include "support/failure.h"

#include <QMetaObject>

namespace bramlotte::support {

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
