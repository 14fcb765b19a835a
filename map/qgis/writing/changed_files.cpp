#include "map/qgis/writing/changed_files.h"

#include "map/qgis/writing/shapefile_update.h"
#include "support/base/failure.h"
#include "support/files/quillmere_io.h"

#include <qgsproviderregistry.h>

#include <QFileInfo>

namespace bramlotte::qgishost {

QStringList filesChangedByFieldWrite(const QgsVectorDataProvider& provider) {
    const QString table =
        shapefileTableOf(provider.name(), provider.storageType(), provider.dataSourceUri());
    if (!table.isEmpty()) {
        return {table};  // the .shp and .shx stay as they are
    }
    const QString path = QgsProviderRegistry::instance()
                             ->decodeUri(provider.name(), provider.dataSourceUri())
                             .value(QStringLiteral("path"))
                             .toString();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return {};
    }
    QStringList files{QFileInfo(path).absoluteFilePath()};
    for (const char* journal : {"-journal", "-wal", "-shm"}) {
        if (QFileInfo(files.first() + QLatin1String(journal)).isFile()) {
            files << files.first() + QLatin1String(journal);
        }
    }
    return files;
}

void refuseReadOnlyFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (!support::mayWriteFile(file)) {
            throw support::Failure(
                support::error::kPermissionDenied,
                QStringLiteral("%1 is read-only: its mode bits forbid writing it.").arg(file));
        }
    }
}

}  // namespace bramlotte::qgishost
