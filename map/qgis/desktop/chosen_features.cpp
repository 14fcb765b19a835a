#include "map/qgis/desktop/chosen_features.h"

#include "map/qgis/desktop/qgis_layers.h"
#include "map/qgis/reading/feature_store.h"

namespace bramlotte::qgishost {
namespace {

using FeatureIds = std::shared_ptr<const QgsFeatureIds>;

// The features of `inner` whose ids are among `only`; writes pass through.
class OnlyCursor : public host::FeatureCursor {
  public:
    OnlyCursor(std::unique_ptr<host::FeatureCursor> inner, FeatureIds only)
        : inner_(std::move(inner)), only_(std::move(only)) {}
    std::unique_ptr<host::Feature> nextFeature() override {
        while (std::unique_ptr<host::Feature> feature = inner_->nextFeature()) {
            if (only_->contains(feature->id())) {
                return feature;
            }
        }
        return nullptr;
    }
    void updateFeature(host::Feature& feature) override { inner_->updateFeature(feature); }
    host::SkippedShapes skippedShapes() const override { return inner_->skippedShapes(); }

  private:
    std::unique_ptr<host::FeatureCursor> inner_;
    FeatureIds only_;
};

// A feature class whose searches deliver only the chosen features.
class OnlyFeatureClass : public host::FeatureClass {
  public:
    OnlyFeatureClass(std::shared_ptr<host::FeatureClass> inner, FeatureIds only)
        : inner_(std::move(inner)), only_(std::move(only)) {}
    int fieldCount() const override { return inner_->fieldCount(); }
    QString fieldName(int index) const override { return inner_->fieldName(index); }
    int findField(const QString& name) const override { return inner_->findField(name); }
    QString shapeFieldName() const override { return inner_->shapeFieldName(); }
    long long featureCount() const override { return only_->size(); }
    std::unique_ptr<host::FeatureCursor> search(const host::SpatialFilter& filter) override {
        return std::make_unique<OnlyCursor>(inner_->search(filter), only_);
    }
    std::unique_ptr<host::FeatureCursor> update(const host::SpatialFilter& filter) override {
        return std::make_unique<OnlyCursor>(inner_->update(filter), only_);
    }
    std::unique_ptr<host::EditTransaction> beginTransaction() override {
        return inner_->beginTransaction();
    }
    host::SkippedShapes skippedShapes() const override { return inner_->skippedShapes(); }

  private:
    std::shared_ptr<host::FeatureClass> inner_;
    FeatureIds only_;
};

// A feature layer of the host limited to the chosen features.
class ChosenFeatureLayer : public host::FeatureLayer {
  public:
    // The layer's features are chosen by QGIS's ids: its rows carry them.
    ChosenFeatureLayer(QgsVectorLayer& layer, std::unique_ptr<host::FeatureLayer> inner,
                       FeatureIds only)
        : hold_(layer), inner_(std::move(inner)), only_(std::move(only)) {}
    QString name() const override { return inner_->name(); }
    std::shared_ptr<host::FeatureClass> featureClass() override {
        return std::make_shared<OnlyFeatureClass>(inner_->featureClass(), only_);
    }
    std::unique_ptr<host::Fields> tableView() override { return inner_->tableView(); }
    std::unique_ptr<host::FeatureCursor> search() override {
        return std::make_unique<OnlyCursor>(inner_->search(), only_);
    }
    QString unavailableReason() const override { return inner_->unavailableReason(); }
    QString coordinateSystem() const override { return inner_->coordinateSystem(); }
    // The streets are those of the whole layer: a street goes on beyond the
    // chosen features, and so does its length in each locality.
    host::StreetLocalities streetLocalities(int keyField, host::FeatureLayer& localities,
                                            int nameField,
                                            const host::LocalityRule& rule) override {
        return inner_->streetLocalities(keyField, localities, nameField, rule);
    }

  private:
    QgisIdsHold hold_;
    std::unique_ptr<host::FeatureLayer> inner_;
    FeatureIds only_;
};

}  // namespace

std::unique_ptr<host::Layer> chosenFeatures(QgsVectorLayer& layer, FeatureIds only) {
    std::unique_ptr<host::FeatureLayer> all = featureLayerFor(layer);
    if (!only) {
        return all;
    }
    return std::make_unique<ChosenFeatureLayer>(layer, std::move(all), std::move(only));
}

}  // namespace bramlotte::qgishost
