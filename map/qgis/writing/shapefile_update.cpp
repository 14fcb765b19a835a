#include "map/qgis/writing/shapefile_update.h"

#include "support/base/failure.h"
#include "support/files/replacement_file.h"
#include "support/files/scratch_files.h"

#include <qgsproviderregistry.h>
#include <qgsvectorlayer.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace bramlotte::qgishost {
namespace {

using support::Failure;

// The file named `base` plus a dot and `extension`, in either case, or an
// empty string when there is none.
QString withExtension(const QString& base, const QString& extension) {
    for (const QString& candidate : {base + QLatin1Char('.') + extension.toLower(),
                                     base + QLatin1Char('.') + extension.toUpper()}) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return QString();
}

// `path` without its extension.
QString baseOf(const QString& path) {
    const QFileInfo info(path);
    return info.absoluteDir().filePath(info.completeBaseName());
}

// The layout a dBASE header declares: the record count, the header's and
// each record's length.
struct TableLayout {
    quint32 records = 0;
    quint16 headerLength = 0, recordLength = 0;
    qint64 size = 0;
    bool operator==(const TableLayout& o) const {
        return records == o.records && headerLength == o.headerLength &&
               recordLength == o.recordLength;
    }
    // Every record the header declares is in the file.
    bool whole() const {
        return headerLength > 0 &&
               size >= headerLength + static_cast<qint64>(records) * recordLength;
    }
};

TableLayout layoutOf(const QString& path) {
    TableLayout layout;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return layout;
    }
    const QByteArray h = file.read(12);
    if (h.size() == 12) {
        auto byte = [&](int i) { return static_cast<quint32>(static_cast<uchar>(h[i])); };
        layout.records = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
        layout.headerLength = static_cast<quint16>(byte(8) | byte(9) << 8);
        layout.recordLength = static_cast<quint16>(byte(10) | byte(11) << 8);
    }
    layout.size = file.size();
    return layout;
}

void copyInto(const QString& from, support::ReplacementFile& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        throw Failure(support::error::kReadFailed,
                      QStringLiteral("%1 cannot be read: %2").arg(from, source.errorString()));
    }
    constexpr qint64 kChunk = 1 << 20;
    QByteArray chunk;
    while (!(chunk = source.read(kChunk)).isEmpty()) {
        to.write(chunk.constData(), chunk.size());
    }
    if (source.error() != QFileDevice::NoError) {
        throw Failure(support::error::kReadFailed,
                      QStringLiteral("%1 cannot be read: %2").arg(from, source.errorString()));
    }
}

// Writes the values into the copy at `path` through QGIS's provider, read
// the way `original` reads the table.
void writeValues(const QString& path, const QgsVectorDataProvider& original,
                 const QgsChangedAttributesMap& changes) {
    QgsProviderRegistry* registry = QgsProviderRegistry::instance();
    QVariantMap parts = registry->decodeUri(QStringLiteral("ogr"), original.dataSourceUri());
    parts.insert(QStringLiteral("path"), path);
    for (const char* other : {"layerName", "layerId", "subset"}) {
        parts.remove(QLatin1String(other));
    }
    QgsVectorLayer::LayerOptions options(false, false);
    QgsVectorLayer table(registry->encodeUri(QStringLiteral("ogr"), parts),
                         QStringLiteral("attribute table"), QStringLiteral("ogr"), options);
    QgsVectorDataProvider* provider = table.isValid() ? table.dataProvider() : nullptr;
    if (!provider) {
        throw Failure(support::error::kWriteFailed,
                      QStringLiteral("The copy of the attribute table cannot be opened."));
    }
    table.setProviderEncoding(original.encoding());
    if (provider->fields().names() != original.fields().names() ||
        provider->featureCount() != original.featureCount()) {
        throw Failure(support::error::kWriteFailed,
                      QStringLiteral("The copy of the attribute table differs from the table."));
    }
    provider->clearErrors();
    if (!provider->changeAttributeValues(changes)) {
        throw Failure(support::error::kWriteFailed, provider->errors().join(QStringLiteral("; ")));
    }
}  // the copy is closed with the layer

}  // namespace

QString shapefileTableOf(const QString& providerName, const QString& storageType,
                         const QString& dataSourceUri) {
    if (providerName != QLatin1String("ogr") || storageType != QLatin1String("ESRI Shapefile")) {
        return QString();
    }
    const QVariantMap parts =
        QgsProviderRegistry::instance()->decodeUri(QStringLiteral("ogr"), dataSourceUri);
    const QString path = parts.value(QStringLiteral("path")).toString();
    const QFileInfo info(path);
    if (info.isDir()) {
        // A folder of shapefiles, the layer named by its file.
        const QString layer = parts.value(QStringLiteral("layerName")).toString();
        return layer.isEmpty() ? QString()
                               : withExtension(QDir(path).filePath(layer), QStringLiteral("dbf"));
    }
    return info.suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) == 0 && info.isFile()
               ? info.absoluteFilePath()
               : withExtension(baseOf(path), QStringLiteral("dbf"));
}

bool updateShapefileTable(const QString& dbf, const QgsVectorDataProvider& provider,
                          const QgsChangedAttributesMap& changes, QString& error) {
    try {
        const TableLayout before = layoutOf(dbf);
        if (!before.whole()) {
            throw Failure(support::error::kReadFailed,
                          QStringLiteral("%1 is not a whole attribute table.").arg(dbf));
        }
        support::ReplacementFile::Naming naming;
        naming.suffix = QByteArrayLiteral(".dbf");  // OGR reads a table by its extension
        support::ReplacementFile copy(dbf, naming);
        copyInto(dbf, copy);
        copy.closeDescriptor();
        // The table's code page goes with it: OGR reads it from a .cpg
        // named after the table.
        std::optional<support::ScratchFile> codePage;
        if (const QString cpg = withExtension(baseOf(dbf), QStringLiteral("cpg")); !cpg.isEmpty()) {
            QByteArray name = copy.temporaryPath();
            name.chop(3);
            codePage.emplace(name + "cpg");
            if (!QFile::copy(cpg, QFile::decodeName(codePage->path()))) {
                throw Failure(support::error::kWriteFailed,
                              QStringLiteral("The code page %1 cannot be copied.").arg(cpg));
            }
        }
        writeValues(copy.temporaryFilePath(), provider, changes);
        codePage.reset();
        const TableLayout after = layoutOf(copy.temporaryFilePath());
        if (!(after == before) || !after.whole()) {
            throw Failure(support::error::kWriteFailed,
                          QStringLiteral("The new attribute table was incomplete."));
        }
        copy.commit();
        return true;
    } catch (const Failure& e) {
        error = e.description();
        return false;
    }
}

}  // namespace bramlotte::qgishost
