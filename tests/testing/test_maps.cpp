#include "tests/testing/test_maps.h"

#include "map/map_walk.h"
#include "map/qgis/program/map_opener.h"

#include <qgsfeature.h>
#include <qgsgeometry.h>
#include <qgsvectorfilewriter.h>

#include <QFileInfo>

namespace bramlotte::testmaps {

std::unique_ptr<QgsVectorLayer> memoryLayer(const QString& name, const QString& geometry,
                                            const QStringList& fields, const std::vector<Row>& rows,
                                            const QString& crs) {
    QString uri = geometry;
    if (geometry != QLatin1String("None")) {
        uri += QStringLiteral("?crs=") + crs;
    } else {
        uri += QStringLiteral("?");
    }
    for (const QString& f : fields) {
        uri += QStringLiteral("&field=") + f;
    }
    auto layer = std::make_unique<QgsVectorLayer>(uri, name, QStringLiteral("memory"));
    QgsFeatureList features;
    for (const Row& r : rows) {
        QgsFeature f(layer->fields());
        if (!r.wkt.isEmpty()) {
            f.setGeometry(QgsGeometry::fromWkt(r.wkt));
        }
        for (int i = 0; i < r.values.size(); ++i) {
            f.setAttribute(i, r.values.at(i));
        }
        features << f;
    }
    layer->dataProvider()->addFeatures(features);
    layer->updateExtents();
    return layer;
}

std::unique_ptr<QgsVectorLayer> writeGeoPackage(const QgsVectorLayer& layer, const QString& path,
                                                const QString& table) {
    QgsVectorFileWriter::SaveVectorOptions options;
    options.driverName = QStringLiteral("GPKG");
    options.layerName = table;
    options.actionOnExistingFile = QFileInfo::exists(path)
                                       ? QgsVectorFileWriter::CreateOrOverwriteLayer
                                       : QgsVectorFileWriter::CreateOrOverwriteFile;
    QString error;
    const auto result = QgsVectorFileWriter::writeAsVectorFormatV3(
        const_cast<QgsVectorLayer*>(&layer), path, QgsCoordinateTransformContext(), options,
        &error);
    if (result != QgsVectorFileWriter::NoError) {
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
    }
    return std::make_unique<QgsVectorLayer>(path + QStringLiteral("|layername=") + table, table,
                                            QStringLiteral("ogr"));
}

std::unique_ptr<QgsVectorLayer> openLayer(const QString& path, const QString& table) {
    return std::make_unique<QgsVectorLayer>(path + QStringLiteral("|layername=") + table, table,
                                            QStringLiteral("ogr"));
}

bool writeShapefile(const QgsVectorLayer& layer, const QString& path) {
    QgsVectorFileWriter::SaveVectorOptions options;
    options.driverName = QStringLiteral("ESRI Shapefile");
    options.fileEncoding = QStringLiteral("UTF-8");
    QString error;
    return QgsVectorFileWriter::writeAsVectorFormatV3(const_cast<QgsVectorLayer*>(&layer), path,
                                                      QgsCoordinateTransformContext(), options,
                                                      &error) == QgsVectorFileWriter::NoError;
}

QString sharedData(const QString& file) {
    const QString path = QStringLiteral(BRAMLOTTE_SHARED_DATA "/") + file;
    return QFileInfo::exists(path) ? path : QString();
}

std::unique_ptr<SharedMap> openSharedMap(const QString& file) {
    const QString path = sharedData(file);
    if (path.isEmpty()) {
        return nullptr;
    }
    auto shared = std::make_unique<SharedMap>();
    qgishost::openMap(shared->project, {path});
    shared->document = std::make_unique<qgishost::QgisMapDocument>(shared->project);
    auto map = shared->document->focusMap();
    shared->streets = map::lastFeatureLayerNamed(*map, QStringLiteral("streets"));
    shared->pages = map::lastFeatureLayerNamed(*map, QStringLiteral("pages"));
    return shared;
}

}  // namespace bramlotte::testmaps
