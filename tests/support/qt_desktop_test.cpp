// The desktop toolkit's windows (offscreen): message boxes and modal forms
// open over the window the user works in, and a form's own window starts
// centred over its owner, not in a corner of the screen.
#include "support/desktop/qt_ui_toolkit.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bramlotte::support;

namespace {

QPoint centre(const QWidget& w) {
    return w.frameGeometry().center();
}

// Runs `look` on the modal window once it shows, then closes it.
void whenModal(std::function<void(QWidget*)> look) {
    QTimer::singleShot(0, [look] {
        QWidget* modal = QApplication::activeModalWidget();
        look(modal);
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->done(QMessageBox::Ok);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
}

class QtDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.setGeometry(100, 100, 900, 600);
        host_.show();
        owner_.setParent(&host_, Qt::Window);
        owner_.setGeometry(600, 300, 400, 300);
        owner_.show();
    }
    QWidget host_;
    QWidget owner_;
    QtUiToolkit ui_{&host_};
};

}  // namespace

TEST_F(QtDesktopTest, AFormsWindowStartsCentredOverItsOwner) {
    QWidget loose;  // opened by the command: over the host's main window
    loose.resize(200, 100);
    std::unique_ptr<HostFrame> frame = ui_.newHostFrame();
    frame->create(loose);
    EXPECT_EQ(loose.parentWidget(), &host_);
    EXPECT_TRUE(loose.isWindow());
    EXPECT_LE((centre(loose) - centre(host_)).manhattanLength(), 2);

    auto* help = new QWidget(&owner_);  // opened by a dialog: over that dialog
    help->resize(300, 200);
    std::unique_ptr<HostFrame> helpFrame = ui_.newHostFrame();
    helpFrame->create(*help);
    EXPECT_EQ(help->parentWidget(), &owner_);
    EXPECT_LE((centre(*help) - centre(owner_)).manhattanLength(), 2);
}

TEST_F(QtDesktopTest, BoxesAndFormsOpenOverTheRunningCommandsWindow) {
    ui_.setOwnerWindow(&owner_);
    QWidget* boxParent = nullptr;
    whenModal([&](QWidget* modal) { boxParent = modal ? modal->parentWidget() : nullptr; });
    ui_.messageBox("A message", Buttons::Ok, Answer::Ok);
    EXPECT_EQ(boxParent, &owner_);

    QDialog form;  // made without a parent, as the save dialogs are
    QWidget* formParent = nullptr;
    QWidget* nestedParent = nullptr;
    whenModal([&](QWidget* modal) {
        formParent = modal ? modal->parentWidget() : nullptr;
        // A question asked from the form goes over the form.
        whenModal([&](QWidget* box) { nestedParent = box ? box->parentWidget() : nullptr; });
        ui_.messageBox("Overwrite?", Buttons::YesNo, Answer::Yes);
    });
    ui_.showModal(form);
    EXPECT_EQ(formParent, &owner_);
    EXPECT_EQ(nestedParent, &form);

    // The command over, boxes go over the active window, else the host.
    ui_.setOwnerWindow(nullptr);
    QWidget* active = QApplication::activeWindow();
    whenModal([&](QWidget* modal) { boxParent = modal ? modal->parentWidget() : nullptr; });
    ui_.messageBox("Another", Buttons::Ok, Answer::Ok);
    EXPECT_EQ(boxParent, active ? active : &host_);
}
