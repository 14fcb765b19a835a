// A vector layer as the host sees it, limited to some of its features (the
// selected ones, say): searches and the walk deliver only those, and a field
// output writes only into those.
#pragma once

#include "map/host.h"

#include <qgsfeatureid.h>
#include <qgsvectorlayer.h>

#include <memory>

namespace bramlotte::qgishost {

// The host's feature layer for `layer`, delivering only the features of
// `only` (every feature when null). It keeps the layer's own name.
std::unique_ptr<host::Layer> chosenFeatures(QgsVectorLayer& layer,
                                            std::shared_ptr<const QgsFeatureIds> only);

}  // namespace bramlotte::qgishost
