#include "map/qgis/features/layer_cursor.h"

#include "map/qgis/features/postgis_walk.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/reading/feature_store.h"
#include "map/qgis/reading/geopackage_features.h"
#include "map/qgis/reading/layer_reading.h"

#include <qgsfeaturerequest.h>
#include <qgsproviderregistry.h>
#include <qgsvectordataprovider.h>

#include <QFileInfo>

namespace bramlotte::qgishost {
namespace {

class IteratedFeature : public host::Feature {
  public:
    IteratedFeature(QgsFeature feature, QgsCoordinateReferenceSystem crs,
                    std::shared_ptr<const std::vector<int>> layerIndex)
        : feature_(std::move(feature)), crs_(std::move(crs)), layerIndex_(std::move(layerIndex)) {}

    long long id() const override { return feature_.id(); }
    std::shared_ptr<const host::Shape> shape() const override {
        return std::make_shared<QgisShape>(feature_.geometry(), crs_);
    }
    QVariant value(int index) const override {
        if (index < 0 || index >= static_cast<int>(layerIndex_->size())) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Field index %1 is out of range.").arg(index));
        }
        return feature_.attribute((*layerIndex_)[static_cast<size_t>(index)]);
    }
    void putValue(int, const QString&) override {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("Features of a layer search cannot be edited."));
    }

  private:
    QgsFeature feature_;
    QgsCoordinateReferenceSystem crs_;
    std::shared_ptr<const std::vector<int>> layerIndex_;
};

// Whether the layer's features can be read on a thread of their own: a
// memory layer, a file, or a PostgreSQL table (libpq waits on its socket,
// not on an event loop, and the iterator takes its connection, where a
// sign-in would be asked, here on the layer's thread). Other remote
// sources may need the main thread's attention while they are read
// (sign-in, network replies).
bool readsAhead(QgsVectorLayer& layer) {
    const QString provider = layer.providerType();
    if (provider == QLatin1String("memory") || provider == QLatin1String("postgres")) {
        return true;
    }
    if (provider != QLatin1String("ogr")) {
        return false;
    }
    const QVariantMap parts = QgsProviderRegistry::instance()->decodeUri(provider, layer.source());
    return QFileInfo(parts.value(QStringLiteral("path")).toString()).isFile();
}

}  // namespace

LayerCursor::LayerCursor(QgsVectorLayer& layer) : crs_(layer.crs()), layerName_(layer.name()) {
    if (!layer.isValid() || !layer.dataProvider()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("Layer %1 cannot be read.").arg(layer.name()));
    }
    // The walk's ids are those the layer's searches give (see FeatureStore::rowIds).
    if ((walk_ = PostGisWalk::open(layer, FeatureStore::of(layer).rowIds()))) {
        return;
    }
    const QgsAttributeList own = ownFieldIndexes(layer);
    layerIndex_ = std::make_shared<const std::vector<int>>(own.begin(), own.end());
    QgsAttributeList wanted;
    for (const int li : own) {
        if (li >= 0) {
            wanted << li;
        }
    }
    QgsFeatureRequest request;
    request.setSubsetOfAttributes(wanted);
    // Every field is wanted: a GeoPackage table is read straight from its
    // file where QGIS would give its features as the table holds them.
    QgsFeatureIterator features = directFeatures(layer);
    if (readsAhead(layer)) {
        ahead_ = std::make_unique<FeatureReadAhead>(
            features.isValid() ? features : layer.getFeatures(request), layer.name());
    } else {
        const ReadErrorScope scope(errors_);
        iterator_ = features.isValid() ? features : layer.getFeatures(request);
    }
}

std::unique_ptr<host::Feature> LayerCursor::nextFeature() {
    if (walk_) {
        return walk_->nextFeature();
    }
    QgsFeature f;
    if (ahead_) {
        if (!ahead_->nextFeature(f)) {
            return nullptr;
        }
    } else {
        bool more = false;
        {
            ReadErrorScope scope(errors_);
            more = qgishost::nextFeature(iterator_, f, scope, skipped_);
        }
        if (!more) {
            errors_.check(layerName_);
            return nullptr;
        }
    }
    return std::make_unique<IteratedFeature>(std::move(f), crs_, layerIndex_);
}

host::SkippedShapes LayerCursor::skippedShapes() const {
    if (walk_) {
        return walk_->skippedShapes();
    }
    return ahead_ ? ahead_->skippedShapes() : skipped_;
}

void LayerCursor::updateFeature(host::Feature&) {
    throw support::Failure(support::error::kFail,
                           QStringLiteral("A layer search cannot store features."));
}

}  // namespace bramlotte::qgishost
