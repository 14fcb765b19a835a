// The checks that read back what another library wrote: a file cut short at
// any point, as a full disk leaves it, is told from a whole one.
#include "support/files/file_checks.h"

#include <qgsziputils.h>

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bramlotte::support;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every cut of `path` (at `step` byte steps, and right before its last
// character but for white space) is damaged.
void everyCutIsDamaged(const QString& path, int step, const std::function<QString()>& check) {
    const QByteArray whole = bytesOf(path);
    ASSERT_GT(whole.size(), step);
    const int content = whole.trimmed().size();
    std::vector<int> cuts{0, content - 1};
    for (int at = step; at < content; at += step) {
        cuts.push_back(at);
    }
    for (const int at : cuts) {
        writeBytes(path, whole.left(at));
        EXPECT_FALSE(check().isEmpty()) << "cut at " << at << " of " << whole.size();
    }
    writeBytes(path, whole);
}

}  // namespace

TEST(FileChecks, APdfCutShortIsDamaged) {
    QTemporaryDir dir;
    const QString path = dir.filePath("index.pdf");
    {
        QPdfWriter pdf(path);
        QPainter painter(&pdf);
        for (int i = 0; i < 200; ++i) {
            painter.drawText(100, 100 + i * 60, QStringLiteral("Main St... A%1, B2").arg(i));
        }
    }
    EXPECT_EQ(pdfDamage(path), QString());
    everyCutIsDamaged(path, 512, [&] { return pdfDamage(path); });
    EXPECT_FALSE(pdfDamage(dir.filePath("missing.pdf")).isEmpty());
}

TEST(FileChecks, AZipCutShortIsDamaged) {
    QTemporaryDir dir;
    QStringList members;
    for (const QString name : {"atlas.qgs", "atlas.qgd"}) {
        QByteArray text = "<qgis>";
        for (int i = 0; i < 4000; ++i) {
            text += QByteArray::number(i * 7919 % 10007) + ' ';
        }
        text += "</qgis>";
        writeBytes(dir.filePath(name), text);
        members << dir.filePath(name);
    }
    const QString path = dir.filePath("atlas.qgz");
    ASSERT_TRUE(QgsZipUtils::zip(path, members));
    EXPECT_EQ(zipDamage(path), QString());
    everyCutIsDamaged(path, 256, [&] { return zipDamage(path); });
    writeBytes(dir.filePath("plain.txt"), "PK not a zip");
    EXPECT_FALSE(zipDamage(dir.filePath("plain.txt")).isEmpty());

    // A whole archive of a project written short: its members tell.
    const auto project = [](const QString& name, const QByteArray& content) {
        return name.endsWith(".qgs") ? xmlContentDamage(content, "qgis") : QString();
    };
    EXPECT_EQ(zipDamage(path, project), QString());
    writeBytes(dir.filePath("short.qgs"), "<!DOCTYPE qgis>\n<qgis version=\"3.22\">\n<layer>");
    ASSERT_TRUE(QgsZipUtils::zip(dir.filePath("short.qgz"), {dir.filePath("short.qgs")}));
    EXPECT_EQ(zipDamage(dir.filePath("short.qgz")), QString());
    EXPECT_FALSE(zipDamage(dir.filePath("short.qgz"), project).isEmpty());
}

TEST(FileChecks, AnXmlDocumentCutShortIsDamaged) {
    QTemporaryDir dir;
    const QString path = dir.filePath("atlas.qgs");
    QByteArray text = "<!DOCTYPE qgis>\n<qgis version=\"3.22\">\n";
    for (int i = 0; i < 300; ++i) {
        text += "  <layer id=\"l" + QByteArray::number(i) + "\"><name>streets</name></layer>\n";
    }
    text += "</qgis>\n";
    writeBytes(path, text);
    EXPECT_EQ(xmlDamage(path, "qgis"), QString());
    EXPECT_FALSE(xmlDamage(path, "html").isEmpty());
    everyCutIsDamaged(path, 300, [&] { return xmlDamage(path, "qgis"); });
}
