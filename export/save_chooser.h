// Asks where to save an index: the save dialogs, seen from the build.
#pragma once

#include "export/save_target.h"

#include <optional>

namespace bramlotte::exporting {

struct SaveChoice {
    std::optional<SaveTarget> target;  // none when the dialog was cancelled
    bool failureReported = false;      // a handler of the dialog reported a failure
};

class SaveChooser {
  public:
    virtual ~SaveChooser() = default;
    virtual SaveChoice choose(SaveKind kind) = 0;
};

// The table or text-file dialog, shown modally through the add-in's
// toolkit. A completed Save is recorded in `targets`.
class FormSaveChooser : public SaveChooser {
  public:
    explicit FormSaveChooser(ExportTargets& targets) : targets_(targets) {}
    SaveChoice choose(SaveKind kind) override;

  private:
    ExportTargets& targets_;
};

}  // namespace bramlotte::exporting
