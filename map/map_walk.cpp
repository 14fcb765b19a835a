#include "map/map_walk.h"

namespace bramlotte::map {

void walkFeatureLayers(const host::FocusMap& map,
                       const std::function<void(std::unique_ptr<host::Layer>)>& visit) {
    const int count = map.layerCount();
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<host::Layer> layer = map.layer(i);
        if (host::GroupLayer* group = layer->asGroupLayer()) {
            const int members = group->memberCount();
            for (int j = 0; j < members; ++j) {
                std::unique_ptr<host::Layer> member = group->member(static_cast<int16_t>(j));
                if (member->asFeatureLayer()) {
                    visit(std::move(member));
                }
            }
        } else if (layer->asFeatureLayer()) {
            visit(std::move(layer));
        }
    }
}

std::unique_ptr<host::Layer> lastFeatureLayerNamed(const host::FocusMap& map, const QString& name) {
    std::unique_ptr<host::Layer> found;
    walkFeatureLayers(map, [&](std::unique_ptr<host::Layer> layer) {
        if (layer->name().compare(name, Qt::CaseInsensitive) == 0) {
            found = std::move(layer);  // later matches replace earlier ones
        }
    });
    return found;
}

LayerLookup FindFeatureLayer(host::MapDocument* document, const QString& name) {
    LayerLookup lookup;
    try {
        if (!document) {
            throw support::Failure(support::error::kFail, QStringLiteral("No map is open."));
        }
        lookup.layer = lastFeatureLayerNamed(*document->focusMap(), name);
    } catch (...) {
        lookup.layer.reset();
        lookup.failed = true;
    }
    return lookup;
}

}  // namespace bramlotte::map
