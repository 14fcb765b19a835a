// The QGIS plugin: the library QGIS loads. It only wires the command into
// QGIS: one action under a "Quillmere" menu and toolbar, clicks to OnClick,
// and the Processing provider while the plugin is loaded.
#include "command/bramlotte_command.h"
#include "command/command_state.h"
#include "command/frm_resources.h"
#include "command/plugin_parts.h"
#include "map/qgis/desktop/qgis_desktop.h"
#include "support/addin/addin_state.h"
#include "support/base/product.h"

#include <qgisinterface.h>
#include <qgisplugin.h>

#include <QAction>
#include <QPointer>
#include <QToolBar>

namespace {

const QString kPluginName = bramlotte::product::kName;
const QString kDescription = QStringLiteral("Builds the index of a street atlas");
const QString kCategory = QStringLiteral("Plugins");
const QString kVersion = bramlotte::product::kPluginVersion;
const QString kMenu = QStringLiteral("Quillmere");

class BramlottePlugin : public QgisPlugin {
  public:
    explicit BramlottePlugin(QgisInterface* iface)
        : QgisPlugin(kPluginName, kDescription, kCategory, kVersion, QgisPlugin::UI),
          iface_(iface),
          host_(iface),
          command_(host_) {}

    void initGui() override {
        bramlotte::addInState().ui = std::make_shared<bramlotte::qgishost::QgisUiToolkit>(*iface_);
        command_.OnCreate(iface_);
        QIcon icon(bramlotte::frmResources::instance().Picture1());
        if (command_.Bitmap() == 0) {
            icon = QIcon();
        }
        action_ = new QAction(icon, command_.Caption(), iface_->mainWindow());
        action_->setObjectName(QStringLiteral("Quillmere.Bramlotte"));
        action_->setToolTip(command_.Tooltip());
        action_->setStatusTip(command_.Message());
        action_->setEnabled(command_.Enabled());
        action_->setCheckable(false);
        action_->setChecked(command_.Checked());
        QObject::connect(action_, &QAction::triggered, [this] { command_.OnClick(); });
        iface_->addPluginToMenu(kMenu, action_);
        toolbar_ = iface_->addToolBar(kMenu);
        toolbar_->setObjectName(kMenu);
        toolbar_->addAction(action_);
        processing_ = bramlotte::AddProcessingProvider();
    }

    void unload() override {
        processing_.reset();
        if (action_) {
            iface_->removePluginMenu(kMenu, action_);
        }
        delete toolbar_.data();
        delete action_.data();
        bramlotte::addInState() = bramlotte::AddInState();
        bramlotte::commandState() = bramlotte::CommandState();
    }

  private:
    QgisInterface* iface_;
    bramlotte::qgishost::QgisCommandHost host_;
    bramlotte::Bramlotte command_;
    QPointer<QAction> action_;
    QPointer<QToolBar> toolbar_;
    std::unique_ptr<bramlotte::PluginPart> processing_;
};

}  // namespace

QGISEXTERN QgisPlugin* classFactory(QgisInterface* iface) {
    return new BramlottePlugin(iface);
}
QGISEXTERN const QString* name() {
    return &kPluginName;
}
QGISEXTERN const QString* description() {
    return &kDescription;
}
QGISEXTERN const QString* category() {
    return &kCategory;
}
QGISEXTERN int type() {
    return QgisPlugin::UI;
}
QGISEXTERN const QString* version() {
    return &kVersion;
}
QGISEXTERN const QString* icon() {
    static const QString none;
    return &none;
}
QGISEXTERN void unload(QgisPlugin* plugin) {
    delete plugin;
}
