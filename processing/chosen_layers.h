// The map a Processing build works on: only the layers the algorithm's
// parameters chose, each limited to the features its parameter delivers
// (the selected features, when the user asked for those). Values of a field
// output go into the chosen layer itself.
#pragma once

#include "map/host.h"

#include <qgsfeatureid.h>
#include <qgsvectorlayer.h>

#include <QPointer>

#include <memory>
#include <vector>

namespace bramlotte::processing {

struct ChosenLayer {
    QPointer<QgsVectorLayer> layer;
    // The layer's name in the build's map, by which the build finds it.
    QString name;
    // The features the build sees; nullptr: every feature of the layer.
    std::shared_ptr<const QgsFeatureIds> only;
};

class ChosenLayersDocument : public host::MapDocument {
  public:
    explicit ChosenLayersDocument(std::vector<ChosenLayer> layers) : layers_(std::move(layers)) {}

    std::unique_ptr<host::FocusMap> focusMap() override;
    // A Processing build has no print layout: these fail.
    std::unique_ptr<host::PageLayout> pageLayout() override;
    void activatePageLayout() override;
    bool isPageLayoutActive() const override { return false; }
    // Nothing to redraw but the layers, which the focus map repaints.
    std::unique_ptr<host::ActiveView> activeView() override;

  private:
    std::vector<ChosenLayer> layers_;
};

}  // namespace bramlotte::processing
