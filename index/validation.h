// The checks a build request passes before anything is related or written,
// in their order, with their messages.
#pragma once

#include "map/host.h"

#include <QString>

#include <memory>
#include <optional>

namespace bramlotte::dialog {
class frmMain;
}

namespace bramlotte::index {

enum class Output { TextFile, Table, Field, Layout, Window };

// What the dialog asks for, checked.
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

// The output the dialog's option buttons select.
Output selectedOutput(const dialog::frmMain& d);

// The column number text as a 16-bit whole number, halves to even, when it
// reads as a number in the user's locale; nullopt when it does not. Throws
// host::HostError (overflow) when it lies outside the 16-bit range.
std::optional<int16_t> columnCount(const QString& text);

// Checks 1 to 9: a request, or nullopt after the refusal's message.
std::optional<BuildRequest> ValidateRequest(const dialog::frmMain& d);

// Check 10: asks before field values are overwritten; true for Yes.
bool ConfirmOverwrite(const QString& outputFieldName);

// Checks 11 and 12: the output field's index in Layer #2's feature class,
// or the refusal's message (shown by the caller, once the busy state is
// undone).
struct OutputFieldCheck {
    int index = -1;
    QString refusal;  // empty when the field may be written
};
OutputFieldCheck CheckOutputField(host::FeatureLayer& layer2, const QString& name);

}  // namespace bramlotte::index
