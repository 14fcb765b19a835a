#include "map/layer_lookup.h"

#include "command/addin_state.h"
#include "map/map_walk.h"

#include <QComboBox>

namespace bramlotte::map {
namespace {

std::unique_ptr<host::FocusMap> focusMap() {
    const auto& document = addInState().mapDocument;
    if (!document) {
        throw host::HostError(host::error::kFail, QStringLiteral("No map document is open."));
    }
    return document->focusMap();
}

// The lookup itself, failures passed on.
std::unique_ptr<host::Layer> lastMatch(const QString& name) {
    return lastFeatureLayerNamed(*focusMap(), name);
}

}  // namespace

void LoadMapLayers(QComboBox& picker) {
    try {
        picker.clear();
        walkFeatureLayers(*focusMap(), [&](std::unique_ptr<host::Layer> layer) {
            picker.addItem(layer->name());
        });
    } catch (...) {
        ui().messageBox(QStringLiteral("Error loading map layers"));
    }
}

std::unique_ptr<host::Layer> FindFeatureLayer(const QString& name) {
    try {
        return lastMatch(name);
    } catch (...) {
        ui().messageBox(QStringLiteral("Error: Could not find layer ") + name);
        return nullptr;
    }
}

void LoadLayerFields(const QString& name, QComboBox& picker, bool fromTableView) {
    try {
        picker.clear();
        std::unique_ptr<host::Layer> layer = lastMatch(name);
        if (!layer) {
            return;
        }
        host::FeatureLayer& featureLayer = *layer->asFeatureLayer();
        std::unique_ptr<host::Fields> view;
        std::shared_ptr<host::FeatureClass> featureClass;
        const host::Fields* fields = nullptr;
        if (fromTableView) {
            view = featureLayer.tableView();
            fields = view.get();
        } else {
            featureClass = featureLayer.featureClass();
            fields = featureClass.get();
        }
        const int count = fields->fieldCount();
        for (int k = 0; k < count; ++k) {
            picker.addItem(fields->fieldName(k));
        }
    } catch (...) {
        // Silent by design: the picker keeps the names listed so far.
    }
}

}  // namespace bramlotte::map
