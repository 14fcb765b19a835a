#include "buildrun/build_run.h"

#include "buildrun/field_writer.h"
#include "buildrun/fitted_layout.h"
#include "buildrun/layout_output.h"
#include "buildrun/validation.h"
#include "export/file_outputs.h"
#include "index/relate.h"
#include "print/page_ranges.h"
#include "support/error_trap.h"

#include <optional>

namespace bramlotte::buildrun {
namespace {

using Result = BuildOutcome::Result;

const char* const kProcedure = "btnNext_Click";
const char* const kModule = "frmIndex";

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

// What one run tidies up on every way out.
class Run {
  public:
    explicit Run(BuildContext& context) : context_(context) {}
    ~Run() { undo(); }

    std::optional<exporting::ExportFile> exportFile;
    std::unique_ptr<host::EditTransaction> edit;
    bool progressShown = false;

    // A named failure or refusal after the busy state began: tidy up, then
    // show the message, and after it the cause in the data source's words.
    BuildOutcome stop(Result result, const QString& message, const QString& cause = {}) {
        undo();
        context_.ui.messageBox(message);
        if (!cause.isEmpty()) {
            context_.ui.notice(support::Notice::Detail, cause);
        }
        BuildOutcome outcome;
        outcome.result = result;
        return outcome;
    }
    // Closes the export file (no half-written index), rolls back the edit
    // (no half-written field), hides the progress and restores the pointer.
    void undo() {
        exportFile.reset();
        edit.reset();
        if (progressShown && context_.progress) {
            context_.progress->hide();
        }
        progressShown = false;
        context_.ui.setPointer(support::Pointer::Default);
    }

  private:
    BuildContext& context_;
};

// One layer with a coordinate system and one without: the shapes are
// compared as they are stored, which may well relate nothing.
void warnOfUnrelatedSystems(host::FeatureLayer& layer1, host::FeatureLayer& layer2,
                            support::UiToolkit& ui) {
    const QString crs1 = layer1.coordinateSystem();
    const QString crs2 = layer2.coordinateSystem();
    if (crs1.isEmpty() == crs2.isEmpty()) {
        return;
    }
    const QString none = QStringLiteral("no coordinate system");
    ui.notice(support::Notice::Warning,
              QStringLiteral("The coordinate systems of Layer #1 \"%1\" (%2) and Layer #2 \"%3\" "
                             "(%4) could not be related: their shapes are compared as stored.")
                  .arg(layer1.name(), crs1.isEmpty() ? none : crs1, layer2.name(),
                       crs2.isEmpty() ? none : crs2));
}

// "2 features of layer pages were skipped: their shapes could not be read
// (ids 8, 10)." for one cause, naming the lowest ids.
QString skippedWarning(const QString& layer, const host::SkippedShapes::Cause& cause,
                       const char* one, const char* many) {
    QStringList ids;
    for (const long long id : cause.lowestIds) {
        ids << QString::number(id);
    }
    const bool all = cause.count == static_cast<long long>(cause.lowestIds.size());
    const QString named = (cause.count == 1 ? QStringLiteral("id ")
                           : all            ? QStringLiteral("ids ")
                                            : QStringLiteral("first ids ")) +
                          ids.join(QStringLiteral(", "));
    return cause.count == 1 ? QStringLiteral("1 feature of layer %1 was skipped: %2 (%3).")
                                  .arg(layer, QLatin1String(one), named)
                            : QStringLiteral("%1 features of layer %2 were skipped: %3 (%4).")
                                  .arg(cause.count)
                                  .arg(layer, QLatin1String(many), named);
}

// One warning per layer and cause of the features that relate to nothing.
QStringList skippedWarnings(const std::vector<index::SkippedOfLayer>& layers) {
    QStringList warnings;
    for (const index::SkippedOfLayer& l : layers) {
        if (l.shapes.unreadable.count > 0) {
            warnings << skippedWarning(l.layerName, l.shapes.unreadable,
                                       "its shape could not be read",
                                       "their shapes could not be read");
        }
        if (l.shapes.nonFinite.count > 0) {
            warnings << skippedWarning(l.layerName, l.shapes.nonFinite,
                                       "its shape holds a coordinate that is not a finite number",
                                       "their shapes hold coordinates that are not finite numbers");
        }
        if (l.shapes.degenerate.count > 0) {
            warnings << skippedWarning(l.layerName, l.shapes.degenerate,
                                       "its shape has a ring of fewer than three points",
                                       "their shapes have rings of fewer than three points");
        }
    }
    return warnings;
}

// The result lines of every key: with ranges, runs of pages that follow one
// another are shown as one "first-last" item.
QStringList resultLines(const index::IndexMap& map, const BuildRequest& request,
                        const PrintOptions& print) {
    if (!print.ranges) {
        return index::ResultLines(map, request.columnSeparator);
    }
    QStringList lines;
    lines.reserve(map.count());
    for (int i = 0; i < map.count(); ++i) {
        QStringList pages;
        for (const QString& item : map.itemsAt(i)) {
            pages << item.mid(1);  // an item text is a space and the value
        }
        lines << map.key(i) + request.columnSeparator +
                     print::RangedEntryText(pages, request.itemSeparator);
    }
    return lines;
}

// The result list as it is read in print: with its letter headings when
// they are asked for.
std::vector<index::IndexLine> printedLines(const index::ResultList& list,
                                           const PrintOptions& print) {
    if (print.headings) {
        return index::WithHeadings(list);
    }
    std::vector<index::IndexLine> lines;
    lines.reserve(static_cast<size_t>(list.count()));
    for (const QString& line : list.lines()) {
        lines.push_back({line, false});
    }
    return lines;
}

QStringList textsOf(const std::vector<index::IndexLine>& lines) {
    QStringList texts;
    texts.reserve(static_cast<int>(lines.size()));
    for (const index::IndexLine& line : lines) {
        texts << line.text;
    }
    return texts;
}

std::vector<print::FlowLine> flowLinesOf(const std::vector<index::IndexLine>& lines) {
    std::vector<print::FlowLine> flow;
    flow.reserve(lines.size());
    for (const index::IndexLine& line : lines) {
        flow.push_back({line.text, line.heading});
    }
    return flow;
}

host::MapDocument& documentOf(BuildContext& context) {
    if (!context.document) {
        throw support::Failure(support::error::kFail, QStringLiteral("No map is open."));
    }
    return *context.document;
}

host::ProgressIndicator& progressOf(BuildContext& context) {
    if (!context.progress) {
        throw support::Failure(support::error::kFail, QStringLiteral("No host status bar."));
    }
    return *context.progress;
}

// The save dialog of a file output, then its writer with the lines made for
// the chosen target. A cancelled dialog writes nothing and says so in the
// outcome; the build then finishes as usual.
template <typename LinesFor>
void deliverFile(exporting::SaveKind kind, const LinesFor& linesFor, BuildContext& context,
                 Run& run, BuildOutcome& outcome) {
    context.ui.setPointer(support::Pointer::Default);
    const exporting::SaveChoice choice = context.saveChooser.choose(kind);
    if (!choice.target) {
        // A dialog closed after one of its failures was reported ends as
        // that failure; otherwise the user cancelled.
        outcome.result = choice.failureReported ? Result::Failed : Result::SaveCancelled;
        return;
    }
    exporting::WriteIndexFile(*choice.target, linesFor(*choice.target), run.exportFile, context.ui);
    outcome.filesWritten << choice.target->path;
}

}  // namespace

BuildOutcome BuildIndex(const BuildChoices& choices, BuildContext& context) {
    BuildOutcome outcome;
    std::optional<BuildRequest> request;
    const bool checked = BRAMLOTTE_TRAP(kProcedure, kModule, [&](support::ErrorTrap& trap) {
        BRAMLOTTE_LINE(trap);
        context.resultList.clear();
        BRAMLOTTE_LINE(trap);
        request = ValidateRequest(choices, context.document, context.ui);
        if (!request) {
            outcome.result = Result::Refused;
            return;
        }
        BRAMLOTTE_LINE(trap);
        if (request->output == Output::Field &&
            !ConfirmOverwrite(request->outputFieldName, context.ui)) {
            outcome.result = Result::AnsweredNo;
            request.reset();
        }
    });
    if (!checked) {
        context.ui.setPointer(support::Pointer::Default);
        outcome.result = Result::Failed;
        return outcome;
    }
    return request ? RunBuild(*request, context) : outcome;
}

BuildOutcome RunBuild(const BuildRequest& request, BuildContext& context) {
    BuildOutcome outcome;
    Run run(context);
    const bool ran = BRAMLOTTE_TRAP(
        kProcedure, kModule,
        [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            context.ui.setPointer(support::Pointer::Wait);
            host::FeatureLayer& layer1 = *request.layer1->asFeatureLayer();
            host::FeatureLayer& layer2 = *request.layer2->asFeatureLayer();
            warnOfUnrelatedSystems(layer1, layer2, context.ui);
            BRAMLOTTE_LINE(trap);
            host::ProgressIndicator& progress = progressOf(context);
            progress.setRange(1, layer1.featureClass()->featureCount());
            progress.setStepValue(1);
            progress.setPosition(1);
            progress.setMessage(QStringLiteral("Building index..."));
            progress.step();
            progress.show();
            run.progressShown = true;

            index::RelateInputs in;
            in.layer1 = &layer1;
            in.field1 = request.field1;
            in.layer2 = &layer2;
            in.field2 = request.field2;
            in.relationship = request.relationship;
            in.itemSeparator = request.itemSeparator;
            std::optional<OutputFieldWriter> writer;
            if (request.output == Output::Field) {
                BRAMLOTTE_LINE(trap);
                const OutputFieldCheck outputField =
                    CheckOutputField(layer2, request.outputFieldName);
                if (!outputField.refusal.isEmpty()) {
                    outcome = run.stop(Result::Refused, outputField.refusal);
                    return;
                }
                // All or nothing: the build's writes are one edit.
                try {
                    run.edit = layer2.featureClass()->beginTransaction();
                } catch (const support::Failure& e) {
                    outcome = run.stop(Result::EditFailed, kEditFailure, e.description());
                    return;
                }
                writer.emplace(outputField.index);
                in.fieldWriter = &*writer;
                in.gatherIndex = false;  // this output reads only the features' own entries
            }

            BRAMLOTTE_LINE(trap);
            std::vector<index::SkippedOfLayer> skipped;
            in.skipped = &skipped;
            index::IndexMap map;
            try {
                map = index::Relate(in, &progress);
            } catch (const index::RelateFailure&) {
                outcome = run.stop(Result::RelateFailed, kRelateFailure);
                return;
            } catch (const EditFailure& e) {
                outcome = run.stop(Result::EditFailed, kEditFailure, e.cause().description());
                return;
            }
            for (const QString& warning : skippedWarnings(skipped)) {
                context.ui.notice(support::Notice::Warning, warning);
            }
            if (run.edit) {
                BRAMLOTTE_LINE(trap);
                try {
                    run.edit->commit();
                } catch (const support::Failure& e) {
                    // The values could not be saved.
                    outcome = run.stop(Result::EditFailed, kEditFailure, e.description());
                    return;
                }
            }

            if (request.output != Output::Field) {
                BRAMLOTTE_LINE(trap);
                context.resultList.add(resultLines(map, request, context.print));
                BRAMLOTTE_LINE(trap);
                const auto resultLines = [&](const exporting::SaveTarget&) {
                    return textsOf(printedLines(context.resultList, context.print));
                };
                if (request.output == Output::TextFile) {
                    deliverFile(exporting::SaveKind::TextFile, resultLines, context, run, outcome);
                }
                BRAMLOTTE_LINE(trap);
                const auto tableRows = [&](const exporting::SaveTarget& target) {
                    return index::TableRows(map, target.delimiter);
                };
                if (request.output == Output::Table) {
                    deliverFile(exporting::SaveKind::Table, tableRows, context, run, outcome);
                }
                BRAMLOTTE_LINE(trap);
                if (request.output == Output::Layout && context.print.fitLayout) {
                    PlaceFitted(documentOf(context),
                                flowLinesOf(printedLines(context.resultList, context.print)),
                                request.columns, context.print);
                } else if (request.output == Output::Layout) {
                    PlaceColumns(documentOf(context),
                                 textsOf(printedLines(context.resultList, context.print)),
                                 request.columns);
                }
            }

            BRAMLOTTE_LINE(trap);
            run.exportFile.reset();
            progress.hide();
            run.progressShown = false;
            run.edit.reset();
            host::MapDocument& document = documentOf(context);
            document.focusMap()->afterBuild();
            document.activeView()->refresh();
            context.ui.setPointer(support::Pointer::Default);
        },
        [&] { run.undo(); });  // the general failure path
    if (!ran) {
        outcome.result = Result::Failed;
    }
    return outcome;
}

}  // namespace bramlotte::buildrun
