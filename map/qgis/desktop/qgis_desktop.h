// The host inside the running QGIS desktop: the application behind the
// plugin's QGIS interface, its status bar, its views, and the command host.
#pragma once

#include "map/host_command.h"
#include "map/qgis/desktop/qgis_document.h"
#include "support/desktop/qt_ui_toolkit.h"

#include <qgisinterface.h>

#include <QPointer>

namespace bramlotte::qgishost {

// The map canvas and the layout designer of the running QGIS.
class QgisDesktopViews : public DesktopViews {
  public:
    explicit QgisDesktopViews(QgisInterface& iface) : iface_(&iface) {}
    void showLayout(QgsPrintLayout& layout) override;
    void refreshMap() override;

  private:
    QPointer<QgisInterface> iface_;
};

// The desktop toolkit inside QGIS: notes go to QGIS's message log under the
// product's name, and warnings show in the message bar over the map too.
class QgisUiToolkit : public support::QtUiToolkit {
  public:
    explicit QgisUiToolkit(QgisInterface& iface);
    void notice(support::Notice kind, const QString& text) override;

  private:
    QPointer<QgisInterface> iface_;
};

// What the add-in asks of QGIS: the application behind a hook, and the
// reference to the running application.
class QgisCommandHost : public host::CommandHost {
  public:
    explicit QgisCommandHost(QgisInterface* iface) : iface_(iface) {}
    std::shared_ptr<host::Application> applicationFromHook(QObject* hook) override;
    std::shared_ptr<host::ApplicationReference> newApplicationReference() override;

  private:
    QPointer<QgisInterface> iface_;
};

// The running QGIS as a host application: its current project and its
// status bar. Every call reads the current project afresh.
std::shared_ptr<host::Application> desktopApplication(QgisInterface& iface);

}  // namespace bramlotte::qgishost
