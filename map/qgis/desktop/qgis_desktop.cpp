#include "map/qgis/desktop/qgis_desktop.h"

#include "map/qgis/desktop/qgis_application.h"
#include "support/base/product.h"
#include "support/desktop/terminal_progress.h"

#include <qgsmapcanvas.h>
#include <qgsmessagebar.h>
#include <qgsmessagelog.h>
#include <qgsproject.h>
#include <qgsstatusbar.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>

namespace bramlotte::qgishost {
namespace {

// The progress indicator in QGIS's status bar: a bar and its message.
class StatusBarProgress : public host::ProgressIndicator {
  public:
    explicit StatusBarProgress(QgsStatusBar* bar) : bar_(bar) {
        if (bar_) {
            progress_ = new QProgressBar(bar_);  // owned by the status bar
            // The message is written in the bar: QGIS's status bar leaves a
            // message of its own only a few letters.
            progress_->setMinimumWidth(180);
            progress_->setMaximumWidth(240);
            progress_->setTextVisible(true);
            progress_->hide();
            bar_->addPermanentWidget(progress_, 0, QgsStatusBar::AnchorLeft);
        }
    }
    ~StatusBarProgress() override {
        if (progress_) {
            progress_->deleteLater();
        }
    }
    void setRange(long long low, long long high) override {
        low_ = low;
        high_ = std::max(low, high);
        scale_ = std::max(1LL, (high_ - low_) / 100000 + 1);  // the bar counts in int
        if (progress_) {
            progress_->setRange(0, static_cast<int>((high_ - low_) / scale_));
        }
    }
    void setStepValue(long long step) override { step_ = step; }
    void setPosition(long long position) override {
        position_ = position;
        draw();
    }
    void setMessage(const QString& message) override { message_ = message; }
    void step() override {
        position_ += step_;
        draw();
    }
    void show() override {
        sinceDrawn_.invalidate();  // the first position shows at once
        if (progress_) {
            progress_->setFormat(message_.isEmpty() ? QStringLiteral("%p%")
                                                    : message_ + QStringLiteral(" %p%"));
            progress_->show();
        }
        visible_ = true;
        draw();
    }
    void hide() override {
        if (progress_) {
            progress_->hide();
        }
        visible_ = false;
    }

  private:
    // The build holds the UI thread and steps once per Layer #1 feature:
    // the bar is set and the events processed (so it repaints) at most every
    // kDrawInterval, and at the end, not at each of thousands of steps.
    void draw() {
        if (!progress_ || !visible_) {
            return;
        }
        const int value = static_cast<int>((position_ - low_) / scale_);
        const bool last = value >= progress_->maximum();
        if (value == progress_->value() ||
            (!last && sinceDrawn_.isValid() && sinceDrawn_.elapsed() < kDrawInterval)) {
            return;
        }
        progress_->setValue(value);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceDrawn_.start();
    }
    static constexpr qint64 kDrawInterval = 50;  // ms
    QElapsedTimer sinceDrawn_;
    QPointer<QgsStatusBar> bar_;
    QPointer<QProgressBar> progress_;
    long long low_ = 0, high_ = 100, step_ = 1, position_ = 0, scale_ = 1;
    bool visible_ = false;
    QString message_;
};

class DesktopStatusBar : public host::StatusBar {
  public:
    explicit DesktopStatusBar(QgsStatusBar* bar) : progress_(bar) {}
    host::ProgressIndicator* progressIndicator() override { return &progress_; }

  private:
    StatusBarProgress progress_;
};

// The running application, reached through the interface QGIS gave the plugin.
class DesktopApplication : public host::Application {
  public:
    explicit DesktopApplication(QgisInterface& iface)
        : iface_(&iface),
          views_(iface),
          statusBar_(std::make_shared<DesktopStatusBar>(iface.statusBarIface())) {}
    std::shared_ptr<host::MapDocument> document() override {
        return std::make_shared<QgisMapDocument>(*QgsProject::instance(), &views_);
    }
    std::shared_ptr<host::StatusBar> statusBar() override { return statusBar_; }

  private:
    QPointer<QgisInterface> iface_;
    QgisDesktopViews views_;
    std::shared_ptr<DesktopStatusBar> statusBar_;
};

class DesktopApplicationReference : public host::ApplicationReference {
  public:
    explicit DesktopApplicationReference(QgisInterface& iface) : iface_(&iface) {}
    std::shared_ptr<host::Application> application() override {
        if (!iface_) {
            throw support::Failure(support::error::kFail, QStringLiteral("QGIS is not running."));
        }
        if (!application_) {
            application_ = desktopApplication(*iface_);
        }
        return application_;
    }

  private:
    QPointer<QgisInterface> iface_;
    std::shared_ptr<host::Application> application_;
};

}  // namespace

void QgisDesktopViews::showLayout(QgsPrintLayout& layout) {
    if (iface_) {
        iface_->openLayoutDesigner(&layout);
    }
}

void QgisDesktopViews::refreshMap() {
    if (iface_ && iface_->mapCanvas()) {
        iface_->mapCanvas()->refresh();
    }
}

QgisUiToolkit::QgisUiToolkit(QgisInterface& iface)
    : QtUiToolkit(iface.mainWindow()), iface_(&iface) {}

void QgisUiToolkit::notice(support::Notice kind, const QString& text) {
    const bool warning = kind == support::Notice::Warning;
    QgsMessageLog::logMessage(text, product::kName,
                              warning ? Qgis::MessageLevel::Warning : Qgis::MessageLevel::Info);
    if (warning && iface_ && iface_->messageBar()) {
        iface_->messageBar()->pushWarning(product::kName, text);
    }
}

std::shared_ptr<host::Application> desktopApplication(QgisInterface& iface) {
    return std::make_shared<DesktopApplication>(iface);
}

std::shared_ptr<host::Application> QgisCommandHost::applicationFromHook(QObject* hook) {
    auto* iface = qobject_cast<QgisInterface*>(hook);
    if (!iface) {
        throw support::Failure(support::error::kNotFound,
                               QStringLiteral("The hook offers no QGIS application."));
    }
    return desktopApplication(*iface);
}

std::shared_ptr<host::ApplicationReference> QgisCommandHost::newApplicationReference() {
    if (!iface_) {
        throw support::Failure(support::error::kFail, QStringLiteral("QGIS is not running."));
    }
    return std::make_shared<DesktopApplicationReference>(*iface_);
}

}  // namespace bramlotte::qgishost
