// The checks a build request passes before anything is related or written,
// in their order, with their messages.
#pragma once

#include "buildrun/build_request.h"
#include "support/desktop/ui_toolkit.h"

#include <QString>

#include <optional>

namespace bramlotte::buildrun {

// The column number text as a 16-bit whole number, halves to even, when it
// reads as a number in the user's locale; nullopt when it does not. Throws
// support::Failure (overflow) when it lies outside the 16-bit range.
std::optional<int16_t> columnCount(const QString& text);

// Checks 1 to 9 on the dialog's choices, layers looked up in `document`:
// a request, or nullopt after the refusal's message.
std::optional<BuildRequest> ValidateRequest(const BuildChoices& choices,
                                            host::MapDocument* document, support::UiToolkit& ui);

// Checks 5 to 9, on the layers of `request` (named `layer1` and `layer2`,
// null where not found): the fields by name into the request's indexes, and
// the output field's name. False after the refusal's message.
bool CheckFields(BuildRequest& request, const QString& layer1, const QString& field1,
                 const QString& layer2, const QString& field2, support::UiToolkit& ui);

// The localities that tell same-named streets apart: the layer `name`
// (`localities`, null where not found) and its name field `field`. False
// after the refusal's message.
bool CheckLocalities(BuildRequest& request, std::unique_ptr<host::Layer> localities,
                     const QString& name, const QString& field, support::UiToolkit& ui);

// Check 10: asks before field values are overwritten; true for Yes.
bool ConfirmOverwrite(const QString& outputFieldName, support::UiToolkit& ui);

// Checks 11 and 12: the output field's index in Layer #2's feature class,
// or the refusal's message (shown by the caller, once the busy state is
// undone).
struct OutputFieldCheck {
    int index = -1;
    QString refusal;  // empty when the field may be written
};
OutputFieldCheck CheckOutputField(host::FeatureLayer& layer2, const QString& name);

}  // namespace bramlotte::buildrun
