// The map walk: the feature layers of a focus map in the order the layer
// pickers list them. Top-level layers in order; the members of a top-level
// group in their order; a group inside a group is not entered.
#pragma once

#include "map/host.h"

#include <functional>

namespace bramlotte::map {

void walkFeatureLayers(const host::FocusMap& map,
                       const std::function<void(std::unique_ptr<host::Layer>)>& visit);

// The last feature layer in walk order whose name equals `name` without
// regard to case, or nullptr.
std::unique_ptr<host::Layer> lastFeatureLayerNamed(const host::FocusMap& map, const QString& name);

}  // namespace bramlotte::map
