// What "Build Index" works from: the dialog's choices as read from its
// controls, and the request they make once the checks have passed.
#pragma once

#include "map/host.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace bramlotte::buildrun {

enum class Output { TextFile, Table, Field, Layout, Window };

// The dialog's controls, read once at the press of the button.
struct BuildChoices {
    QString columnSeparator;  // txtSeparator
    QString itemSeparator;    // txtItemSep
    QString columnText;       // txtNum
    QString relationship;     // cboRelationship
    QString field1, field2;   // cboLayerFields, cboSearchLayerFields
    QString layer1, layer2;   // cboMapLayers, cboSearchLayers
    QString outputField;      // cboOutputFields
    Output output = Output::TextFile;
};

// The choices, checked: the layers found, the fields' indexes in their
// feature classes, the relationship's code.
struct BuildRequest {
    QString columnSeparator;
    QString itemSeparator;
    Output output = Output::TextFile;
    int16_t columns = 1;  // layout output only
    int32_t relationship = host::relation::kIntersects;
    std::unique_ptr<host::Layer> layer1, layer2;
    int field1 = -1, field2 = -1;
    QString outputFieldName;
};

}  // namespace bramlotte::buildrun
