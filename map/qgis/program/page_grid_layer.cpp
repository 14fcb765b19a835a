#include "map/qgis/program/page_grid_layer.h"

#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/reading/read_errors.h"
#include "support/base/failure.h"
#include "support/files/replacement_file.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectorfilewriter.h>

#include <QFile>

#include <functional>
#include <memory>

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
    for (const char* side : {"NORTH", "EAST", "SOUTH", "WEST"}) {
        fields.append(QgsField(QString::fromLatin1(side), QVariant::Int));
    }
    return fields;
}

QgsFields gridSquareFields() {
    QgsFields fields;
    fields.append(QgsField(QStringLiteral("PAGE"), QVariant::String, QString(), 20));
    fields.append(QgsField(QStringLiteral("PAGE_NO"), QVariant::Int));
    fields.append(QgsField(QStringLiteral("SQUARE"), QVariant::String, QString(), 20));
    fields.append(QgsField(QStringLiteral("REF"), QVariant::String, QString(), 32));
    return fields;
}

namespace {

QVariant neighbour(int pageNo) {
    return pageNo > 0 ? QVariant(pageNo) : QVariant(QVariant::Int);
}

// Writes the features `next` gives, until it gives none, as the table
// `table` of the GeoPackage at `path`: a new file, or a table added to the
// one there. Failures name `target`, the file the user asked for.
void writeTable(const QString& path, const QString& table, bool addToFile, const QgsFields& fields,
                const QgsCoordinateReferenceSystem& crs,
                const std::function<bool(QgsFeature&)>& next, const QString& target) {
    QgsVectorFileWriter::SaveVectorOptions options;
    options.driverName = QStringLiteral("GPKG");
    options.layerName = table;
    if (addToFile) {
        options.actionOnExistingFile = QgsVectorFileWriter::CreateOrOverwriteLayer;
    }
    std::unique_ptr<QgsVectorFileWriter> writer(QgsVectorFileWriter::create(
        path, fields, QgsWkbTypes::Polygon, crs, QgsCoordinateTransformContext(), options));
    bool ok = writer && writer->hasError() == QgsVectorFileWriter::NoError;
    QgsFeature f;
    while (ok && next(f)) {
        ok = writer->addFeature(f);
    }
    const QString error = writer ? writer->errorMessage() : QStringLiteral("cannot create it");
    writer.reset();  // closes the file
    if (!ok) {
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("Cannot write %1: %2").arg(target, error));
    }
}

}  // namespace

QgsFeature pageFeature(const GridPage& p, const QgsFields& fields) {
    QgsFeature f(fields);
    f.setGeometry(QgsGeometry::fromRect(p.rect));
    QgsAttributes values;
    values << p.page << p.row << p.column << p.pageNo << neighbour(p.north) << neighbour(p.east)
           << neighbour(p.south) << neighbour(p.west);
    f.setAttributes(values);
    return f;
}

QgsFeature squareFeature(const GridSquare& s, const QgsFields& fields) {
    QgsFeature f(fields);
    f.setGeometry(QgsGeometry::fromRect(s.rect));
    QgsAttributes values;
    values << s.page << s.pageNo << s.square << s.ref;
    f.setAttributes(values);
    return f;
}

void writePageGrid(const std::vector<GridPage>& pages, const QgsCoordinateReferenceSystem& crs,
                   const QString& path, const std::vector<GridSquare>* squares) {
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
    size_t at = 0;
    writeTable(
        written, QStringLiteral("pages"), false, fields, crs,
        [&](QgsFeature& f) {
            if (at == pages.size()) {
                return false;
            }
            f = pageFeature(pages[at++], fields);
            return true;
        },
        path);
    if (squares) {
        const QgsFields squareFields = gridSquareFields();
        at = 0;
        writeTable(
            written, QStringLiteral("squares"), true, squareFields, crs,
            [&](QgsFeature& f) {
                if (at == squares->size()) {
                    return false;
                }
                f = squareFeature((*squares)[at++], squareFields);
                return true;
            },
            path);
    }
    file.commit();
}

}  // namespace bramlotte::qgishost
