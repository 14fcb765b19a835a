#include "dialog/layer_pickers.h"

#include "map/map_walk.h"
#include "support/addin/addin_state.h"

#include <QComboBox>

namespace bramlotte::dialog {
namespace {

std::unique_ptr<host::FocusMap> focusMap(host::MapDocument* document) {
    if (!document) {
        throw support::Failure(support::error::kFail, QStringLiteral("No map is open."));
    }
    return document->focusMap();
}

// A combo box chooses its first entry by itself; a picker shows no choice
// until the user makes one.
void chooseNothing(QComboBox& picker) {
    picker.setCurrentIndex(-1);
}

}  // namespace

void LoadMapLayers(host::MapDocument* document, QComboBox& picker) {
    try {
        picker.clear();
        map::walkFeatureLayers(*focusMap(document), [&](std::unique_ptr<host::Layer> layer) {
            picker.addItem(layer->name());
        });
        chooseNothing(picker);
    } catch (...) {
        chooseNothing(picker);
        ui().messageBox(QStringLiteral("Error loading map layers"));
    }
}

void LoadLayerFields(host::MapDocument* document, const QString& name, QComboBox& picker,
                     bool fromTableView) {
    try {
        picker.clear();
        std::unique_ptr<host::Layer> layer = map::lastFeatureLayerNamed(*focusMap(document), name);
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
    chooseNothing(picker);
}

}  // namespace bramlotte::dialog
