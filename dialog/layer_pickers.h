// Fills the dialog's layer and field pickers from the focus map. Each fill
// walks the map afresh; none reports through the general error reporter and
// none lets a failure reach its caller. After a fill nothing is chosen.
#pragma once

#include "map/host.h"

#include <QString>

class QComboBox;

namespace bramlotte::dialog {

// Clears the picker and lists every feature layer of `document`'s focus map
// in map-walk order, duplicate names included. On a failure (no document
// included): "Error loading map layers", keeping what was listed.
void LoadMapLayers(host::MapDocument* document, QComboBox& picker);

// Clears the picker and lists the fields of the layer found as
// FindFeatureLayer finds it: of its table view when `fromTableView`, else of
// its feature class. Silent on failure, keeping what was listed.
void LoadLayerFields(host::MapDocument* document, const QString& name, QComboBox& picker,
                     bool fromTableView);

}  // namespace bramlotte::dialog
