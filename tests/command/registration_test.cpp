// Registration edits the user's QGIS settings: it adds exactly what makes
// the plugin load, twice changes nothing, and unregistering removes it all.
#include "command/registration.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using namespace bramlotte;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(Registration, AddsAndRemovesOnlyItsOwnSettings) {
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString file = qgisSettingsFile();
    ASSERT_TRUE(file.startsWith(home.path()));
    {
        // The user's own settings, another plugin folder among them.
        QDir().mkpath(QFileInfo(file).absolutePath());
        QSettings s(file, QSettings::IniFormat);
        s.setValue("Plugins/otherplugin", true);
        s.setValue("plugins/searchPathsForPlugins", "/opt/other");
        s.setValue("qgis/style", "Fusion");
    }
    QString error;
    ASSERT_TRUE(registerPlugin("/x/plugin", "libbramlotteplugin", error)) << error.toStdString();
    const QByteArray once = readAll(file);
    ASSERT_TRUE(registerPlugin("/x/plugin/", "libbramlotteplugin", error));
    EXPECT_EQ(readAll(file), once);
    {
        QSettings s(file, QSettings::IniFormat);
        EXPECT_TRUE(s.value("Plugins/libbramlotteplugin").toBool());
        EXPECT_EQ(s.value("plugins/searchPathsForPlugins").toString(), "/opt/other|/x/plugin");
    }
    ASSERT_TRUE(unregisterPlugin("/x/plugin", "libbramlotteplugin", error));
    ASSERT_TRUE(unregisterPlugin("/x/plugin", "libbramlotteplugin", error));
    {
        QSettings s(file, QSettings::IniFormat);
        EXPECT_FALSE(s.contains("Plugins/libbramlotteplugin"));
        EXPECT_EQ(s.value("plugins/searchPathsForPlugins").toString(), "/opt/other");
        EXPECT_TRUE(s.value("Plugins/otherplugin").toBool());
        EXPECT_EQ(s.value("qgis/style").toString(), "Fusion");
    }
    qputenv("HOME", oldHome);
}
