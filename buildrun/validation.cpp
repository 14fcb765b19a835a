#include "buildrun/validation.h"

#include "index/relate.h"
#include "index/text_forms.h"
#include "map/map_walk.h"

#include <QLocale>

#include <cmath>

namespace bramlotte::buildrun {
namespace {

bool blank(const QString& text) {
    return index::trimSpaces(text).isEmpty();
}

}  // namespace

std::optional<int16_t> columnCount(const QString& text) {
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value);  // halves to the even neighbour
    if (rounded < -32768 || rounded > 32767) {
        throw support::Failure(support::error::kOverflow, QStringLiteral("Overflow"));
    }
    return static_cast<int16_t>(rounded);
}

std::optional<BuildRequest> ValidateRequest(const BuildChoices& c, host::MapDocument* document,
                                            support::UiToolkit& ui) {
    auto refuse = [&ui](const QString& message) { ui.messageBox(message); };
    BuildRequest r;
    r.columnSeparator = c.columnSeparator;
    r.itemSeparator = c.itemSeparator;
    const QString& columnText = c.columnText;
    const QString& relationship = c.relationship;
    const QString& field1 = c.field1;
    const QString& field2 = c.field2;
    const QString& layer1 = c.layer1;
    const QString& layer2 = c.layer2;
    r.outputFieldName = c.outputField;
    r.output = c.output;
    r.print = c.print;
    r.layoutName = c.layoutName;

    if (r.output == Output::Layout) {
        const std::optional<int16_t> columns = columnCount(columnText);
        if (!columns) {
            refuse(QStringLiteral("Please enter a numeric value for the column number"));
            return std::nullopt;
        }
        if (*columns < 1) {
            refuse(QStringLiteral("Column number must be greate than 0"));
            return std::nullopt;
        }
        r.columns = *columns;
    }
    if (blank(relationship)) {
        refuse(QStringLiteral("Please choose a relationship"));
        return std::nullopt;
    }
    const std::optional<int32_t> code = index::relationshipCode(relationship);
    if (!code) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Unknown relationship: ") + relationship);
    }
    r.relationship = *code;
    // Both lookups now; one that fails says so at once.
    for (auto [name, layer] : {std::pair{&layer1, &r.layer1}, std::pair{&layer2, &r.layer2}}) {
        map::LayerLookup lookup = map::FindFeatureLayer(document, *name);
        if (lookup.failed) {
            ui.messageBox(QStringLiteral("Error: Could not find layer ") + *name);
        }
        *layer = std::move(lookup.layer);
    }
    if (!CheckFields(r, layer1, field1, layer2, field2, ui)) {
        return std::nullopt;
    }
    if (!blank(c.localities)) {
        map::LayerLookup lookup = map::FindFeatureLayer(document, c.localities);
        if (lookup.failed) {
            ui.messageBox(QStringLiteral("Error: Could not find layer ") + c.localities);
        }
        if (!CheckLocalities(r, std::move(lookup.layer), c.localities, c.localityField, ui)) {
            return std::nullopt;
        }
        r.localityRule = c.localityRule;
    }
    return r;
}

bool CheckFields(BuildRequest& r, const QString& layer1, const QString& field1,
                 const QString& layer2, const QString& field2, support::UiToolkit& ui) {
    auto refuse = [&ui](const QString& message) {
        ui.messageBox(message);
        return false;
    };
    if (blank(field1)) {
        return refuse(QStringLiteral("Please select a field from layer #1"));
    }
    if (blank(field2)) {
        return refuse(QStringLiteral("Please select a field from layer #2"));
    }
    if (!r.layer1) {
        return refuse(QStringLiteral("Can't find layer: ") + layer1);
    }
    r.field1 = r.layer1->asFeatureLayer()->featureClass()->findField(field1);
    if (r.field1 < 0) {
        return refuse(QStringLiteral("Can't find field: ") + field1);
    }
    if (!r.layer2) {
        return refuse(QStringLiteral("Can't find layer: ") + layer2);
    }
    r.field2 = r.layer2->asFeatureLayer()->featureClass()->findField(field2);
    if (r.field2 < 0) {
        return refuse(QStringLiteral("Can't find field: ") + field2);
    }
    if (r.output == Output::Field && blank(r.outputFieldName)) {
        return refuse(QStringLiteral("Please select a field"));
    }
    return true;
}

bool CheckLocalities(BuildRequest& r, std::unique_ptr<host::Layer> localities, const QString& name,
                     const QString& field, support::UiToolkit& ui) {
    if (!localities || !localities->asFeatureLayer()) {
        ui.messageBox(QStringLiteral("Can't find layer: ") + name);
        return false;
    }
    r.localityField = localities->asFeatureLayer()->featureClass()->findField(field);
    if (blank(field) || r.localityField < 0) {
        ui.messageBox(QStringLiteral("Can't find field: ") + field);
        return false;
    }
    r.localities = std::move(localities);
    return true;
}

bool ConfirmOverwrite(const QString& outputFieldName, support::UiToolkit& ui) {
    return ui.messageBox(QStringLiteral("All field values in field: ") + outputFieldName +
                             QStringLiteral(" will be overwritten.\r\nContinue?"),
                         support::Buttons::YesNo, support::Answer::Yes) == support::Answer::Yes;
}

OutputFieldCheck CheckOutputField(host::FeatureLayer& layer2, const QString& name) {
    OutputFieldCheck check;
    if (!blank(name)) {
        check.index = layer2.featureClass()->findField(name);
    }
    if (check.index < 0) {
        check.refusal = QStringLiteral("Can't find field: ") + name;
    } else if (name.toUpper() == QLatin1String("SHAPE")) {
        check.refusal = QStringLiteral("Sorry, can't edit SHAPE field");
    }
    return check;
}

}  // namespace bramlotte::buildrun
