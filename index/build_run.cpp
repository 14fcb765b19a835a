#include "index/build_run.h"

#include "command/addin_state.h"
#include "dialog/frm_main.h"
#include "export/export_file.h"
#include "export/file_outputs.h"
#include "index/field_writer.h"
#include "index/layout_output.h"
#include "index/relate.h"
#include "index/validation.h"
#include "support/error_trap.h"

#include <optional>

namespace bramlotte::index {
namespace {

const QString kRelateFailure = QStringLiteral(
    "Error relating the two layers...\r\n"
    "Be sure the shape type of the layers is appropriate for the selected "
    "relationship.");
const QString kEditFailure = QStringLiteral(
    "Error editing field values...\r\n"
    "Be sure the data type of the output field matches the data type of the input "
    "field.\r\n"
    "Hint: Choosing an output field with type STRING or CHARACTER should handle "
    "most situations.");

host::ProgressIndicator* statusProgress() {
    const auto& app = addInState().hostApplication;
    if (!app || !app->statusBar()) {
        throw host::HostError(host::error::kFail, QStringLiteral("No host status bar."));
    }
    return app->statusBar()->progressIndicator();
}

// The state one run tidies up on every way out.
struct Run {
    host::ProgressIndicator* progress = nullptr;  // set once it is shown
    std::optional<exporting::ExportFile> exportFile;
    std::unique_ptr<host::EditTransaction> edit;

    // A named failure or refusal after the busy state began.
    void stop(const QString& message) {
        exportFile.reset();
        edit.reset();  // rolls back whatever this build wrote
        if (progress) {
            progress->hide();
        }
        ui().setPointer(support::Pointer::Default);
        if (!message.isEmpty()) {
            ui().messageBox(message);
        }
    }
};

}  // namespace

BuildOutcome RunBuild(dialog::frmMain& d) {
    BuildOutcome outcome;
    Run run;
    const bool ran = BRAMLOTTE_TRAP(
        "btnNext_Click", "frmIndex",
        [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            d.resultList().clear();
            d.showResultList();
            BRAMLOTTE_LINE(trap);
            std::optional<BuildRequest> request = ValidateRequest(d);
            if (!request) {
                outcome.result = BuildOutcome::Result::Refused;
                return;
            }
            BRAMLOTTE_LINE(trap);
            if (request->output == Output::Field && !ConfirmOverwrite(request->outputFieldName)) {
                outcome.result = BuildOutcome::Result::Refused;
                return;
            }
            BRAMLOTTE_LINE(trap);
            ui().setPointer(support::Pointer::Wait);
            host::FeatureLayer& layer1 = *request->layer1->asFeatureLayer();
            host::FeatureLayer& layer2 = *request->layer2->asFeatureLayer();
            BRAMLOTTE_LINE(trap);
            host::ProgressIndicator* progress = statusProgress();
            progress->setRange(1, layer1.featureClass()->featureCount());
            progress->setStepValue(1);
            progress->setPosition(1);
            progress->setMessage(QStringLiteral("Building index..."));
            progress->step();
            progress->show();
            run.progress = progress;

            RelateInputs in;
            in.layer1 = &layer1;
            in.field1 = request->field1;
            in.layer2 = &layer2;
            in.field2 = request->field2;
            in.relationship = request->relationship;
            in.itemSeparator = request->itemSeparator;
            std::optional<OutputFieldWriter> writer;
            if (request->output == Output::Field) {
                BRAMLOTTE_LINE(trap);
                const OutputFieldCheck outputField =
                    CheckOutputField(layer2, request->outputFieldName);
                if (!outputField.refusal.isEmpty()) {
                    run.stop(outputField.refusal);  // tidy first, then the message
                    outcome.result = BuildOutcome::Result::Refused;
                    return;
                }
                // All or nothing: the build's writes are one edit.
                try {
                    run.edit = layer2.featureClass()->beginTransaction();
                } catch (const host::HostError&) {
                    run.stop(kEditFailure);
                    outcome.result = BuildOutcome::Result::EditFailed;
                    return;
                }
                writer.emplace(outputField.index);
                in.fieldWriter = &*writer;
                in.gatherIndex = false;  // this output reads only the features' own entries
            }

            BRAMLOTTE_LINE(trap);
            IndexMap map;
            try {
                map = Relate(in, progress);
            } catch (const RelateFailure&) {
                run.stop(kRelateFailure);
                outcome.result = BuildOutcome::Result::RelateFailed;
                return;
            } catch (const EditFailure&) {
                run.stop(kEditFailure);
                outcome.result = BuildOutcome::Result::EditFailed;
                return;
            }
            if (run.edit) {
                BRAMLOTTE_LINE(trap);
                try {
                    run.edit->commit();
                } catch (const host::HostError&) {
                    run.stop(kEditFailure);  // the values could not be saved
                    outcome.result = BuildOutcome::Result::EditFailed;
                    return;
                }
            }

            if (request->output != Output::Field) {
                BRAMLOTTE_LINE(trap);
                FillResultList(map, request->columnSeparator, d.resultList());
                d.showResultList();
                BRAMLOTTE_LINE(trap);
                if (request->output == Output::TextFile) {
                    exporting::TextFileBranch(d.resultList(), run.exportFile, outcome.filesWritten);
                }
                BRAMLOTTE_LINE(trap);
                if (request->output == Output::Table) {
                    exporting::TableBranch(map, run.exportFile, outcome.filesWritten);
                }
                BRAMLOTTE_LINE(trap);
                if (request->output == Output::Layout) {
                    PlaceColumns(*addInState().mapDocument, d.resultList(), request->columns);
                }
            }

            BRAMLOTTE_LINE(trap);
            run.exportFile.reset();
            progress->hide();
            run.edit.reset();
            request.reset();
            addInState().mapDocument->focusMap()->afterBuild();
            addInState().mapDocument->activeView()->refresh();
            ui().setPointer(support::Pointer::Default);
        },
        [&] {
            // The general failure path: no half-written file, no half-written field.
            run.exportFile.reset();
            run.edit.reset();
            if (run.progress) {
                run.progress->hide();
            }
            ui().setPointer(support::Pointer::Default);
        });
    if (!ran) {
        outcome.result = BuildOutcome::Result::Failed;
    }
    return outcome;
}

}  // namespace bramlotte::index
