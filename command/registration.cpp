#include "command/registration.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace bramlotte {
namespace {

// Two groups that differ in case only: QGIS keeps the switches of plugins in
// "Plugins" and the search paths in "plugins".
const QString kEnabledKey = QStringLiteral("Plugins/%1");
const QString kPathsKey = QStringLiteral("plugins/searchPathsForPlugins");

QStringList searchPaths(QSettings& settings) {
    // Written by QGIS as one text joined with "|".
    const QVariant v = settings.value(kPathsKey);
    QStringList paths = v.type() == QVariant::StringList
                            ? v.toStringList()
                            : v.toString().split(QLatin1Char('|'), Qt::SkipEmptyParts);
    return paths;
}

bool finish(QSettings& settings, QString& error) {
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        error = QStringLiteral("Cannot write %1").arg(settings.fileName());
        return false;
    }
    return true;
}

}  // namespace

QString qgisSettingsFile() {
    return QDir::homePath() +
           QStringLiteral("/.local/share/QGIS/QGIS3/profiles/default/QGIS/QGIS3.ini");
}

bool registerPlugin(const QString& pluginFolder, const QString& pluginKey, QString& error) {
    const QString file = qgisSettingsFile();
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        error = QStringLiteral("Cannot create %1").arg(QFileInfo(file).absolutePath());
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    const QString folder = QDir::cleanPath(QFileInfo(pluginFolder).absoluteFilePath());
    QStringList paths = searchPaths(settings);
    if (!paths.contains(folder)) {
        paths << folder;
        settings.setValue(kPathsKey, paths.join(QLatin1Char('|')));
    }
    settings.setValue(kEnabledKey.arg(pluginKey), true);
    return finish(settings, error);
}

bool unregisterPlugin(const QString& pluginFolder, const QString& pluginKey, QString& error) {
    const QString file = qgisSettingsFile();
    if (!QFileInfo::exists(file)) {
        return true;  // nothing was registered
    }
    QSettings settings(file, QSettings::IniFormat);
    const QString folder = QDir::cleanPath(QFileInfo(pluginFolder).absoluteFilePath());
    QStringList paths = searchPaths(settings);
    if (paths.removeAll(folder) > 0) {
        if (paths.isEmpty()) {
            settings.remove(kPathsKey);
        } else {
            settings.setValue(kPathsKey, paths.join(QLatin1Char('|')));
        }
    }
    settings.remove(kEnabledKey.arg(pluginKey));
    return finish(settings, error);
}

}  // namespace bramlotte
