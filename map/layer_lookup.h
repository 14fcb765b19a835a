// The layer and field lookups behind the pickers and the build. Each walks
// the focus map of the shared map document afresh; none reports through the
// general error reporter and none lets a failure reach its caller.
#pragma once

#include "map/host.h"

#include <QString>

#include <memory>

class QComboBox;

namespace bramlotte::map {

// Clears the picker and lists every feature layer in map-walk order,
// duplicate names included. On a failure: "Error loading map layers".
void LoadMapLayers(QComboBox& picker);

// The last feature layer in walk order whose name equals `name` without
// regard to case, or nullptr. On a failure: "Error: Could not find layer "
// + name, and nullptr.
std::unique_ptr<host::Layer> FindFeatureLayer(const QString& name);

// Clears the picker and lists the fields of the layer found as
// FindFeatureLayer finds it: of its table view when `fromTableView`, else of
// its feature class. Silent on failure, keeping what was listed.
void LoadLayerFields(const QString& name, QComboBox& picker, bool fromTableView);

}  // namespace bramlotte::map
