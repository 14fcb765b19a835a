#include "map/qgis/reading/geopackage_features.h"

#include "map/qgis/reading/direct_read.h"
#include "map/qgis/reading/layer_reading.h"
#include "map/store/geopackage_rows.h"

#include <qgsexpression.h>
#include <qgsgeometryfactory.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <qgswkbptr.h>

#include <climits>
#include <memory>

namespace bramlotte::qgishost {
namespace {

// Whether QGIS gives shapes of a layer of `type` as they are parsed from
// standard WKB, a single part of a multipart layer made a collection of one.
bool plainShapes(QgsWkbTypes::Type type) {
    switch (QgsWkbTypes::flatType(type)) {
        case QgsWkbTypes::Point:
        case QgsWkbTypes::LineString:
        case QgsWkbTypes::Polygon:
        case QgsWkbTypes::MultiPoint:
        case QgsWkbTypes::MultiLineString:
        case QgsWkbTypes::MultiPolygon:
            return true;
        default:
            return false;
    }
}

class DirectFeatureIterator : public QgsAbstractFeatureIterator {
  public:
    DirectFeatureIterator(std::unique_ptr<store::GeoPackageRowCursor> rows, QgsFields fields,
                          QgsWkbTypes::Type type, QString fidColumn,
                          std::unique_ptr<QgsAbstractFeatureSource> source)
        : QgsAbstractFeatureIterator(QgsFeatureRequest()),
          rows_(std::move(rows)),
          fields_(std::move(fields)),
          type_(type),
          fidColumn_(std::move(fidColumn)),
          source_(std::move(source)) {}
    ~DirectFeatureIterator() override { close(); }

    bool rewind() override { return false; }
    bool close() override {
        rows_.reset();
        rest_.close();
        mClosed = true;
        return true;
    }

  protected:
    bool fetchFeature(QgsFeature& f) override {
        if (!rows_) {
            return rest_.nextFeature(f);
        }
        if (!rows_->next()) {
            rows_.reset();
            return false;
        }
        if (fill(f)) {
            return true;
        }
        // QGIS's provider reads this feature and the rest, as it would have.
        const qint64 id = rows_->id();
        rows_.reset();
        QgsFeatureRequest request;
        request.setFilterExpression(
            QStringLiteral("%1 >= %2").arg(QgsExpression::quotedColumnRef(fidColumn_)).arg(id));
        rest_ = source_->getFeatures(request);
        return rest_.nextFeature(f);
    }

  private:
    // The row as QGIS gives it; false for one it may give otherwise.
    bool fill(QgsFeature& f) const {
        QgsAttributes attributes(fields_.count());
        for (int i = 0; i < fields_.count(); ++i) {
            if (!rows_->value(static_cast<size_t>(i), attributes[i])) {
                return false;
            }
            if (!attributes[i].isValid()) {
                attributes[i] =
                    QVariant(fields_.at(i).type());  // QGIS's NULL is of its field's type
            }
        }
        const unsigned char* wkb = nullptr;
        size_t size = 0;
        bool empty = false;
        if (!rows_->shape(wkb, size, empty) || empty || size > INT_MAX) {
            return false;
        }
        QgsGeometry geometry;
        if (wkb) {
            std::unique_ptr<QgsAbstractGeometry> parsed;
            try {
                QgsConstWkbPtr ptr(wkb, static_cast<int>(size));
                parsed = QgsGeometryFactory::geomFromWkb(ptr);
            } catch (const QgsWkbException&) {
                return false;
            }
            if (!parsed) {
                return false;
            }
            const QgsWkbTypes::Type parsedType = parsed->wkbType();
            geometry = QgsGeometry(std::move(parsed));
            if (parsedType != type_ &&
                (QgsWkbTypes::multiType(parsedType) != type_ || !geometry.convertToMultiType())) {
                return false;
            }
        }
        f = QgsFeature(fields_, rows_->id());
        f.setAttributes(attributes);
        f.setGeometry(geometry);
        f.setValid(true);
        return true;
    }

    std::unique_ptr<store::GeoPackageRowCursor> rows_;  // until QGIS's provider takes over
    QgsFields fields_;
    QgsWkbTypes::Type type_;
    QString fidColumn_;
    std::unique_ptr<QgsAbstractFeatureSource> source_;
    QgsFeatureIterator rest_;
};

}  // namespace

QgsFeatureIterator directFeatures(QgsVectorLayer& layer) {
    const std::optional<store::GeoPackageQuery> query = geoPackageQueryOf(layer);
    if (!query || !query->filter.trimmed().isEmpty() || !plainShapes(layer.wkbType())) {
        return QgsFeatureIterator();
    }
    // The layer's fields are its source's, in their order.
    const QgsAttributeList own = ownFieldIndexes(layer);
    if (own.size() != layer.fields().count()) {
        return QgsFeatureIterator();
    }
    for (int i = 0; i < own.size(); ++i) {
        if (own[i] != i) {
            return QgsFeatureIterator();
        }
    }
    std::unique_ptr<store::GeoPackageRowCursor> rows =
        store::GeoPackageRowCursor::open(*query, layer.name());
    if (!rows) {
        return QgsFeatureIterator();
    }
    std::unique_ptr<QgsAbstractFeatureSource> source(layer.dataProvider()->featureSource());
    // The iterator wrapper owns the iterator from here on.
    return QgsFeatureIterator(new DirectFeatureIterator(
        std::move(rows), layer.fields(), layer.wkbType(), query->fidColumn, std::move(source)));
}

}  // namespace bramlotte::qgishost
