// What a build works from. BuildChoices are the dialog's controls as texts
// (the command line gives the same texts): the checks turn them into a
// BuildRequest. Processing makes a BuildRequest straight from its
// parameters. A request holds everything a build needs, as values.
#pragma once

#include "buildrun/print_options.h"
#include "export/save_target.h"
#include "map/host.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace bramlotte::buildrun {

enum class Output { TextFile, Table, Field, Layout, Window };

// How the question before field values are overwritten is answered: by
// the user (a Yes/No box), or already, by the front.
enum class Answering { Ask, Yes, No };

// The dialog's controls, read once at the press of the button, and what the
// dialog has no controls for (left at their defaults there).
struct BuildChoices {
    QString columnSeparator;  // txtSeparator
    QString itemSeparator;    // txtItemSep
    QString columnText;       // txtNum
    QString relationship;     // cboRelationship
    QString field1, field2;   // cboLayerFields, cboSearchLayerFields
    QString layer1, layer2;   // cboMapLayers, cboSearchLayers
    QString outputField;      // cboOutputFields
    Output output = Output::TextFile;
    PrintOptions print;  // beyond the dialog: the print-ready index
    QString layoutName;  // beyond the dialog: the layout to place the index on
    // Beyond the dialog: same-named streets told apart by the localities of
    // this layer (empty: not) and this field, by this rule.
    QString localities, localityField;
    host::LocalityRule localityRule;
};

// One build, checked: the layers (however the front found them), the
// fields' indexes in their feature classes, the relationship's code, the
// output and its target, the print options and how a question is answered.
struct BuildRequest {
    std::unique_ptr<host::Layer> layer1, layer2;
    int field1 = -1, field2 = -1;
    int32_t relationship = host::relation::kIntersects;
    QString columnSeparator = QStringLiteral("...");
    QString itemSeparator = QStringLiteral(",");
    Output output = Output::TextFile;
    // Where the text file or the table goes. None: the save dialog asks,
    // once the index is built.
    std::optional<exporting::SaveTarget> file;
    QString outputFieldName;  // field output
    // The print layout of the layout output; empty: the project's first one
    // (a Letter-size one named "Index" is made when there is none). One of
    // the name given is made when missing.
    QString layoutName;
    int16_t columns = 1;  // layout output
    PrintOptions print;
    // Same-named streets told apart by the localities of this layer, named
    // by this field (its index in the layer's feature class); none: not.
    std::unique_ptr<host::Layer> localities;
    int localityField = -1;
    host::LocalityRule localityRule;
    Answering overwriteFields = Answering::Ask;
};

}  // namespace bramlotte::buildrun
