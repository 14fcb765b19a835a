// Layers, groups and the focus map on QGIS: the project's layer tree.
#pragma once

#include "map/host.h"

#include <qgslayertree.h>
#include <qgsproject.h>

#include <QPointer>

namespace bramlotte::qgishost {

// The host layer for a layer-tree node: a group, a feature layer (a vector
// layer with geometry) or a layer of another kind.
std::unique_ptr<host::Layer> layerForNode(QgsLayerTreeNode* node);

// The host's feature layer for a vector layer, in a layer tree or not.
std::unique_ptr<host::FeatureLayer> featureLayerFor(QgsVectorLayer& layer);

class QgisFocusMap : public host::FocusMap {
  public:
    explicit QgisFocusMap(QgsProject& project) : project_(&project) {}
    int layerCount() const override;
    std::unique_ptr<host::Layer> layer(int index) const override;
    void afterBuild() override;

  private:
    QgsLayerTree& root() const;
    QPointer<QgsProject> project_;
};

}  // namespace bramlotte::qgishost
