// The map walk: the feature layers of a focus map in the order the layer
// pickers list them. Top-level layers in order; the members of a top-level
// group in their order; a group inside a group is not entered. Each walk
// reads the current map afresh.
#pragma once

#include "map/host.h"

#include <functional>

namespace bramlotte::map {

void walkFeatureLayers(const host::FocusMap& map,
                       const std::function<void(std::unique_ptr<host::Layer>)>& visit);

// The last feature layer in walk order whose name equals `name` without
// regard to case, or nullptr.
std::unique_ptr<host::Layer> lastFeatureLayerNamed(const host::FocusMap& map, const QString& name);

// A layer looked up by name: the layer, or none; `failed` when the lookup
// itself failed (no document, a host call failing), which the caller tells
// the user of ("Error: Could not find layer " + the name).
struct LayerLookup {
    std::unique_ptr<host::Layer> layer;
    bool failed = false;
};

// The feature layer named `name` in the focus map of `document`, found as
// lastFeatureLayerNamed finds it. Nothing is thrown to the caller.
LayerLookup FindFeatureLayer(host::MapDocument* document, const QString& name);

}  // namespace bramlotte::map
