// Makes the plugin load in the current user's QGIS, and undoes exactly that.
#pragma once

#include <QString>

namespace bramlotte {

// The user's QGIS settings file (default profile).
QString qgisSettingsFile();

// Adds `pluginFolder` to QGIS's plugin search paths and switches the plugin
// library `pluginKey` on. Idempotent; touches nothing else. Returns false
// with `error` set when the settings cannot be written.
bool registerPlugin(const QString& pluginFolder, const QString& pluginKey, QString& error);

// Removes what registerPlugin added. Idempotent.
bool unregisterPlugin(const QString& pluginFolder, const QString& pluginKey, QString& error);

}  // namespace bramlotte
