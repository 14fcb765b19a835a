// The save dialogs' rules, for every front: which file a folder and a name
// give, and the question before a file that exists is replaced.
#pragma once

#include "export/save_target.h"
#include "support/desktop/ui_toolkit.h"
#include "support/errors/error_handling.h"

namespace bramlotte::exporting {

// The file a name in `folder` gives. A table: every ".txt" and every ".csv"
// taken out of the name (exactly, anywhere in it), then ".csv" for commas
// or ".txt" for tabs; a text file: the name and ".txt", nothing taken out.
SaveTarget TargetForName(SaveKind kind, const QString& folder, QString name, bool tabs = false);

// Whether `path` may be written: yes when no file is there; otherwise the
// answer to "File already exists. Overwrite?". After a Yes nothing is
// deleted (the writer's complete new file replaces the old one), but a
// file whose mode bits forbid deleting it is reported to `reporter` now, as
// its deletion would be; the writer then refuses it.
bool MayReplace(const QString& path, support::UiToolkit& ui, const support::Reporter& reporter);

}  // namespace bramlotte::exporting
