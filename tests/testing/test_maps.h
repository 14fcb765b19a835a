// Small exact maps for tests: memory layers from WKT, GeoPackages in a
// temporary folder, and the shared real-data folder.
#pragma once

#include "map/qgis/desktop/qgis_document.h"

#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <QVariant>
#include "tests/testing/qt_printers.h"

#include <memory>
#include <vector>

namespace bramlotte::testmaps {

struct Row {
    QString wkt;  // empty for a feature without shape
    QVariantList values;
};

// A memory layer "Type?crs=...&field=name:type..." filled with `rows`.
// `fields` are "name:string(20)" style specs; `geometry` is "Point",
// "LineString", "Polygon" or "None".
std::unique_ptr<QgsVectorLayer> memoryLayer(const QString& name, const QString& geometry,
                                            const QStringList& fields, const std::vector<Row>& rows,
                                            const QString& crs = QStringLiteral("EPSG:32632"));

// Writes `layer` as a GeoPackage table `table` into `path` (adding to an
// existing file) and returns the layer opened from it.
std::unique_ptr<QgsVectorLayer> writeGeoPackage(const QgsVectorLayer& layer, const QString& path,
                                                const QString& table);

// Table `table` of the GeoPackage at `path`, as a layer.
std::unique_ptr<QgsVectorLayer> openLayer(const QString& path, const QString& table);

// Writes `layer` as the shapefile `path`; false when it cannot.
bool writeShapefile(const QgsVectorLayer& layer, const QString& path);

// Path of a file in the shared real-data folder, or empty when absent.
QString sharedData(const QString& file);

// A real map from the shared folder, opened as the host sees it, with its
// "streets" and "pages" feature layers.
struct SharedMap {
    QgsProject project;
    std::unique_ptr<qgishost::QgisMapDocument> document;
    std::unique_ptr<host::Layer> streets, pages;
};
// nullptr when the shared folder or the file is absent.
std::unique_ptr<SharedMap> openSharedMap(const QString& file);

}  // namespace bramlotte::testmaps
