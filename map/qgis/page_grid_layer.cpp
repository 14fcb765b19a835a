#include "map/qgis/page_grid_layer.h"

#include "map/qgis/qgis_feature_class.h"
#include "map/qgis/qgis_shape.h"
#include "map/qgis/read_errors.h"
#include "support/failure.h"
#include "support/replacement_file.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectorfilewriter.h>

#include <QFile>

namespace bramlotte::qgishost {

QgsRectangle featureExtent(QgsVectorLayer& layer) {
    QgsRectangle extent;
    extent.setMinimal();
    ReadErrors errors;
    {
        const ReadErrorScope scope(errors);
        QgsFeatureRequest request;
        request.setNoAttributes();
        QgsFeatureIterator it = layer.getFeatures(request);
        QgsFeature f;
        while (it.nextFeature(f)) {
            if (f.hasGeometry() && !f.geometry().isEmpty()) {
                extent.combineExtentWith(f.geometry().boundingBox());
            }
        }
    }
    errors.check(layer.name());
    if (extent.isNull() || extent.isEmpty()) {
        throw support::Failure(
            support::error::kInvalidArgument,
            QStringLiteral("Layer %1 has no shapes to cover.").arg(layer.name()));
    }
    return extent;
}

bool meetsFeatures(QgsVectorLayer& layer, const QgsRectangle& rect) {
    QgisFeatureClass features(layer);
    const auto query = std::make_shared<QgisShape>(QgsGeometry::fromRect(rect), layer.crs());
    return features.search({query, host::relation::kIntersects, QString()})->nextFeature() !=
           nullptr;
}

QgsFields pageGridFields() {
    QgsFields fields;
    fields.append(QgsField(QStringLiteral("PAGE"), QVariant::String, QString(), 20));
    fields.append(QgsField(QStringLiteral("ROW"), QVariant::String, QString(), 10));
    fields.append(QgsField(QStringLiteral("COL"), QVariant::Int));
    fields.append(QgsField(QStringLiteral("PAGE_NO"), QVariant::Int));
    return fields;
}

void writePageGrid(const std::vector<GridPage>& pages, const QgsCoordinateReferenceSystem& crs,
                   const QString& path) {
    // Written under a name of its own beside the target, which it replaces
    // only once whole; refused like every file the program writes when the
    // target's mode bits forbid writing it.
    support::ReplacementFile::Naming naming;
    naming.suffix = QByteArrayLiteral(".gpkg");  // the writer's format comes from it
    support::ReplacementFile file(path, naming);
    file.closeDescriptor();
    const QString written = file.temporaryFilePath();
    QFile::remove(written);  // the writer makes the file itself

    const QgsFields fields = pageGridFields();
    QgsVectorFileWriter::SaveVectorOptions options;
    options.driverName = QStringLiteral("GPKG");
    options.layerName = QStringLiteral("pages");
    std::unique_ptr<QgsVectorFileWriter> writer(QgsVectorFileWriter::create(
        written, fields, QgsWkbTypes::Polygon, crs, QgsCoordinateTransformContext(), options));
    bool ok = writer && writer->hasError() == QgsVectorFileWriter::NoError;
    for (size_t i = 0; ok && i < pages.size(); ++i) {
        const GridPage& p = pages[i];
        QgsFeature f(fields);
        f.setGeometry(QgsGeometry::fromRect(p.rect));
        QgsAttributes values;
        values << p.page << p.row << p.column << p.pageNo;
        f.setAttributes(values);
        ok = writer->addFeature(f);
    }
    const QString error = writer ? writer->errorMessage() : QStringLiteral("cannot create it");
    writer.reset();  // closes the file
    if (!ok) {
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("Cannot write %1: %2").arg(path, error));
    }
    file.commit();
}

}  // namespace bramlotte::qgishost
