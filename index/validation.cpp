#include "index/validation.h"

#include "command/addin_state.h"
#include "dialog/frm_main.h"
#include "index/relate.h"
#include "index/text_forms.h"
#include "map/layer_lookup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>

#include <cmath>

namespace bramlotte::index {
namespace {

constexpr int32_t kOverflow = 6;

bool blank(const QString& text) {
    return trimSpaces(text).isEmpty();
}

void refuse(const QString& message) {
    ui().messageBox(message);
}

}  // namespace

Output selectedOutput(const dialog::frmMain& d) {
    if (d.optFields->isChecked()) {
        return Output::Field;
    }
    if (d.optTable->isChecked()) {
        return Output::Table;
    }
    if (d.optText->isChecked()) {
        return Output::TextFile;
    }
    if (d.optElement->isChecked()) {
        return Output::Layout;
    }
    return Output::Window;
}

std::optional<int16_t> columnCount(const QString& text) {
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value);  // halves to the even neighbour
    if (rounded < -32768 || rounded > 32767) {
        throw host::HostError(kOverflow, QStringLiteral("Overflow"));
    }
    return static_cast<int16_t>(rounded);
}

std::optional<BuildRequest> ValidateRequest(const dialog::frmMain& d) {
    BuildRequest r;
    r.columnSeparator = d.txtSeparator->text();
    r.itemSeparator = d.txtItemSep->text();
    const QString columnText = d.txtNum->text();
    const QString relationship = d.cboRelationship->currentText();
    const QString field1 = d.cboLayerFields->currentText();
    const QString field2 = d.cboSearchLayerFields->currentText();
    const QString layer1 = d.cboMapLayers->currentText();
    const QString layer2 = d.cboSearchLayers->currentText();
    r.outputFieldName = d.cboOutputFields->currentText();
    r.output = selectedOutput(d);

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
    const std::optional<int32_t> code = relationshipCode(relationship);
    if (!code) {
        throw host::HostError(host::error::kInvalidArgument,
                              QStringLiteral("Unknown relationship: ") + relationship);
    }
    r.relationship = *code;
    r.layer1 = map::FindFeatureLayer(layer1);
    r.layer2 = map::FindFeatureLayer(layer2);
    if (blank(field1)) {
        refuse(QStringLiteral("Please select a field from layer #1"));
        return std::nullopt;
    }
    if (blank(field2)) {
        refuse(QStringLiteral("Please select a field from layer #2"));
        return std::nullopt;
    }
    if (!r.layer1) {
        refuse(QStringLiteral("Can't find layer: ") + layer1);
        return std::nullopt;
    }
    r.field1 = r.layer1->asFeatureLayer()->featureClass()->findField(field1);
    if (r.field1 < 0) {
        refuse(QStringLiteral("Can't find field: ") + field1);
        return std::nullopt;
    }
    if (!r.layer2) {
        refuse(QStringLiteral("Can't find layer: ") + layer2);
        return std::nullopt;
    }
    r.field2 = r.layer2->asFeatureLayer()->featureClass()->findField(field2);
    if (r.field2 < 0) {
        refuse(QStringLiteral("Can't find field: ") + field2);
        return std::nullopt;
    }
    if (r.output == Output::Field && blank(r.outputFieldName)) {
        refuse(QStringLiteral("Please select a field"));
        return std::nullopt;
    }
    return r;
}

bool ConfirmOverwrite(const QString& outputFieldName) {
    return ui().messageBox(QStringLiteral("All field values in field: ") + outputFieldName +
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

}  // namespace bramlotte::index
