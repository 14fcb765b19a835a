#include "map/qgis/program/qgis_session.h"

#include <qgsapplication.h>
#include <qgsproject.h>
#include <qgsproviderregistry.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

namespace bramlotte::qgishost {
namespace {

// Qt wants a private runtime folder; give it one when the system has none.
void ensureRuntimeDir() {
    const char* existing = std::getenv("XDG_RUNTIME_DIR");
    if (existing && *existing) {
        return;
    }
    const QString dir = QDir::temp().filePath(QStringLiteral("bramlotte-runtime-%1").arg(getuid()));
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    setenv("XDG_RUNTIME_DIR", QFile::encodeName(dir).constData(), 1);
}

bool hasValue(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

QgisSession::QgisSession(int& argc, char** argv, bool gui, ProviderPlugins plugins) {
    ensureRuntimeDir();
    // Without a display, Qt draws offscreen (forms, layouts, PDF export).
    if (!hasValue("DISPLAY") && !hasValue("WAYLAND_DISPLAY") && !hasValue("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    app_ = std::make_unique<QgsApplication>(argc, argv, gui);
    QgsApplication::setPrefixPath(QStringLiteral("/usr"), true);
    // QGIS's own start less the authentication manager, which loads every
    // certificate of the system (a third of a short run): plain data files
    // never need it, and a project file starts it before it is read.
    QgsApplication::init();
    if (plugins == ProviderPlugins::WhenNeeded) {
        // QGIS's own providers (files through GDAL and OGR, memory layers)
        // are always there; an empty folder holds no plugin to load.
        noPlugins_ = std::make_unique<QTemporaryDir>();
    }
    QgsProviderRegistry::instance(
        noPlugins_ && noPlugins_->isValid() ? noPlugins_->path() : QgsApplication::pluginPath());
    QgsProject::instance();
}

void loadProviderPlugins() {
    QgsProviderRegistry* registry = QgsProviderRegistry::instance();
    const QDir plugins(QgsApplication::pluginPath());
    if (registry->libraryDirectory().absolutePath() != plugins.absolutePath()) {
        registry->setLibraryDirectory(plugins);
    }
}

void startAuthentication() {
    // The rest of QGIS's start; what has started already is left as it is.
    QgsApplication::initQgis();
}

QgisSession::~QgisSession() {
    QgsApplication::exitQgis();
    app_.reset();
}

}  // namespace bramlotte::qgishost
