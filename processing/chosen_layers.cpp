#include "processing/chosen_layers.h"

#include "map/qgis/qgis_layers.h"

#include <qgslayertreelayer.h>

namespace bramlotte::processing {
namespace {

using FeatureIds = std::shared_ptr<const QgsFeatureIds>;

[[noreturn]] void noLayout() {
    throw support::Failure(support::error::kFail,
                           QStringLiteral("A Processing build has no print layout."));
}

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

// A feature layer of the host under the name the build knows it by, limited
// to the chosen features.
class ChosenFeatureLayer : public host::FeatureLayer {
  public:
    ChosenFeatureLayer(std::unique_ptr<host::Layer> inner, QString name, FeatureIds only)
        : inner_(std::move(inner)),
          features_(*inner_->asFeatureLayer()),
          name_(std::move(name)),
          only_(std::move(only)) {}
    QString name() const override { return name_; }
    std::shared_ptr<host::FeatureClass> featureClass() override {
        std::shared_ptr<host::FeatureClass> all = features_.featureClass();
        if (!only_) {
            return all;
        }
        return std::make_shared<OnlyFeatureClass>(std::move(all), only_);
    }
    std::unique_ptr<host::Fields> tableView() override { return features_.tableView(); }
    std::unique_ptr<host::FeatureCursor> search() override {
        std::unique_ptr<host::FeatureCursor> all = features_.search();
        if (!only_) {
            return all;
        }
        return std::make_unique<OnlyCursor>(std::move(all), only_);
    }
    QString unavailableReason() const override { return features_.unavailableReason(); }
    QString coordinateSystem() const override { return features_.coordinateSystem(); }

  private:
    std::unique_ptr<host::Layer> inner_;
    host::FeatureLayer& features_;
    QString name_;
    FeatureIds only_;
};

class ChosenFocusMap : public host::FocusMap {
  public:
    explicit ChosenFocusMap(const std::vector<ChosenLayer>& layers) : layers_(layers) {}
    int layerCount() const override { return static_cast<int>(layers_.size()); }
    std::unique_ptr<host::Layer> layer(int index) const override {
        if (index < 0 || index >= layerCount()) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Layer %1 is out of range.").arg(index));
        }
        const ChosenLayer& chosen = layers_[static_cast<size_t>(index)];
        if (!chosen.layer) {
            throw support::Failure(
                support::error::kFail,
                QStringLiteral("The layer %1 no longer exists.").arg(chosen.name));
        }
        // The host's layer for the vector layer, as the layer tree would give it.
        QgsLayerTreeLayer node(chosen.layer.data());
        std::unique_ptr<host::Layer> layer = qgishost::layerForNode(&node);
        if (!layer->asFeatureLayer()) {
            return layer;  // not a layer of features: the build will not find it
        }
        return std::make_unique<ChosenFeatureLayer>(std::move(layer), chosen.name, chosen.only);
    }
    void afterBuild() override {
        // Written field values show at once where the layers are drawn.
        for (const ChosenLayer& chosen : layers_) {
            if (chosen.layer) {
                chosen.layer->triggerRepaint();
            }
        }
    }

  private:
    const std::vector<ChosenLayer>& layers_;
};

class NoView : public host::ActiveView {
  public:
    void refresh() override {}
    void partialRefresh(int) override {}
};

}  // namespace

std::unique_ptr<host::FocusMap> ChosenLayersDocument::focusMap() {
    return std::make_unique<ChosenFocusMap>(layers_);
}

std::unique_ptr<host::PageLayout> ChosenLayersDocument::pageLayout() {
    noLayout();
}

void ChosenLayersDocument::activatePageLayout() {
    noLayout();
}

std::unique_ptr<host::ActiveView> ChosenLayersDocument::activeView() {
    return std::make_unique<NoView>();
}

}  // namespace bramlotte::processing
