// Where `bramlotte build` writes a file output: --save-as (or the save
// dialogs' own start: the current folder and "Bramlotte_Output"), by the
// save dialogs' name rules, with their question before a file is replaced.
#pragma once

#include "export/save_chooser.h"
#include "support/desktop/ui_toolkit.h"
#include "support/errors/error_handling.h"

#include <optional>

namespace bramlotte::cli {

class PathSaveChooser : public exporting::SaveChooser {
  public:
    PathSaveChooser(std::optional<QString> saveAs, bool tabs, support::UiToolkit& ui,
                    support::Reporter reporter)
        : saveAs_(std::move(saveAs)), tabs_(tabs), ui_(ui), reporter_(std::move(reporter)) {}
    // Throws support::Failure for a folder that does not exist.
    exporting::SaveChoice choose(exporting::SaveKind kind) override;

  private:
    std::optional<QString> saveAs_;
    bool tabs_;
    support::UiToolkit& ui_;
    support::Reporter reporter_;
};

}  // namespace bramlotte::cli
