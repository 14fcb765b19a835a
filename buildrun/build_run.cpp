#include "buildrun/build_run.h"

#include "buildrun/field_writer.h"
#include "buildrun/fitted_layout.h"
#include "buildrun/layout_output.h"
#include "buildrun/validation.h"
#include "export/file_outputs.h"
#include "index/collation.h"
#include "index/index_keys.h"
#include "index/relate.h"
#include "index/text_forms.h"
#include "print/page_ranges.h"
#include "support/base/freed_aside.h"
#include "support/desktop/recorded_toolkit.h"
#include "support/errors/error_trap.h"

#include <optional>

namespace bramlotte::buildrun {
namespace {

using Result = BuildOutcome::Result;

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
    Run(BuildContext& context, support::UiToolkit& ui) : context_(context), ui_(ui) {}
    ~Run() { undo(); }

    std::optional<exporting::ExportFile> exportFile;
    std::unique_ptr<host::EditTransaction> edit;
    bool progressShown = false;

    // A named failure or refusal after the busy state began: tidy up, then
    // show the message, and after it the cause in the data source's words.
    BuildOutcome stop(Result result, const QString& message, const QString& cause = {}) {
        undo();
        ui_.messageBox(message);
        if (!cause.isEmpty()) {
            ui_.notice(support::Notice::Detail, cause);
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
        ui_.setPointer(support::Pointer::Default);
    }

  private:
    BuildContext& context_;
    support::UiToolkit& ui_;
};

// What one build says goes to the front's desktop and is kept for the
// outcome; so are its reports of unexpected failures.
class Said {
  public:
    explicit Said(BuildContext& context) : ui(context.ui), reporter(context.reporter) {
        reporter.ui = &ui;
        const auto told = reporter.reported;
        reporter.reported = [this, told](const QString& location, int32_t number,
                                         const QString& description) {
            failureDescription = description;
            if (told) {
                told(location, number, description);
            }
        };
    }
    // `outcome` with what was said.
    BuildOutcome into(BuildOutcome outcome) const {
        outcome.messages = ui.messages;
        outcome.warnings = ui.warnings;
        outcome.details = ui.details;
        outcome.failureDescription = failureDescription;
        return outcome;
    }

    support::RecordedToolkit ui;
    support::Reporter reporter;
    QString failureDescription;
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

// The filing of the request's language: for "auto", of the sort's locale
// (none where it has no street types, which `ui` is told); nullopt when
// nothing is filed. Throws Refusal for a language without street types.
struct Refusal {
    QString message;
};
std::optional<index::StreetFiling> filingOf(const PrintOptions& print, support::UiToolkit& ui) {
    if (print.fileUnderName.isEmpty()) {
        return std::nullopt;
    }
    const bool automatic = print.fileUnderName == QLatin1String("auto");
    const QString language = automatic ? index::collationLocaleName() : print.fileUnderName;
    std::optional<index::StreetFiling> filing = index::StreetFiling::forLanguage(language);
    if (!filing && automatic) {
        ui.notice(support::Notice::Warning,
                  QStringLiteral("The locale %1 has no street types to file names under: they "
                                 "stand as they are.")
                      .arg(language));
    } else if (!filing) {
        throw Refusal{
            QStringLiteral("There are no street types to file names under in the "
                           "language \"%1\"; there are in: %2")
                .arg(language, index::StreetFiling::languages().join(QStringLiteral(", ")))};
    }
    return filing;
}

// What a publisher would check: keys whose streets lie in one locality in
// pieces far apart.
QString piecesWarning(const std::vector<QVariant>& keys) {
    QStringList names;
    for (const QVariant& key : keys) {
        names << index::textForm(key);
    }
    return QStringLiteral(
               "%1 %2 streets in one locality in pieces far apart, which share one "
               "entry (check them): %3")
        .arg(names.size())
        .arg(names.size() == 1 ? QStringLiteral("name has") : QStringLiteral("names have"))
        .arg(names.join(QStringLiteral("; ")));
}

// The result lines of every key: with ranges, runs of pages that follow one
// another are shown as one "first-last" item.
QStringList resultLines(const index::IndexMap& map, const BuildRequest& request) {
    const PrintOptions& print = request.print;
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

// Where a file output goes: the request's file, or else the save dialog's
// choice; then its writer with the lines made for that target. A cancelled
// dialog writes nothing and says so in the outcome; the build then finishes
// as usual.
template <typename LinesFor>
void deliverFile(exporting::SaveKind kind, const LinesFor& linesFor, const BuildRequest& request,
                 BuildContext& context, support::UiToolkit& ui, Run& run, BuildOutcome& outcome) {
    ui.setPointer(support::Pointer::Default);
    exporting::SaveChoice choice;
    if (request.file) {
        choice.target = request.file;
    } else if (context.saveChooser) {
        choice = context.saveChooser->choose(kind);
    } else {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("No file was given for the index."));
    }
    if (!choice.target) {
        // A dialog closed after one of its failures was reported ends as
        // that failure; otherwise the user cancelled.
        outcome.result = choice.failureReported ? Result::Failed : Result::SaveCancelled;
        return;
    }
    exporting::WriteIndexFile(*choice.target, linesFor(*choice.target), run.exportFile, ui);
    outcome.filesWritten << choice.target->path;
}

// The run of a checked request, saying what it says through `said`.
BuildOutcome runRequest(const BuildRequest& request, BuildContext& context, Said& said) {
    support::UiToolkit& ui = said.ui;
    BuildOutcome outcome;
    if (request.output == Output::Field) {
        const bool yes = request.overwriteFields == Answering::Ask
                             ? ConfirmOverwrite(request.outputFieldName, ui)
                             : request.overwriteFields == Answering::Yes;
        if (!yes) {
            outcome.result = Result::AnsweredNo;
            return outcome;
        }
    }
    index::ResultList ownList;
    index::ResultList& resultList = context.resultList ? *context.resultList : ownList;
    Run run(context, ui);
    const bool ran = BRAMLOTTE_TRAP(
        said.reporter, context.procedure, context.module,
        [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            ui.setPointer(support::Pointer::Wait);
            host::FeatureLayer& layer1 = *request.layer1->asFeatureLayer();
            host::FeatureLayer& layer2 = *request.layer2->asFeatureLayer();
            warnOfUnrelatedSystems(layer1, layer2, ui);
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

            // The keys: filed under the name, with their streets' localities.
            BRAMLOTTE_LINE(trap);
            std::optional<index::StreetFiling> filing;
            std::optional<host::StreetLocalities> localities;
            if (request.output != Output::Field) {
                try {
                    filing = filingOf(request.print, ui);
                } catch (const Refusal& refusal) {
                    outcome = run.stop(Result::Refused, refusal.message);
                    return;
                }
                if (request.localities) {
                    BRAMLOTTE_LINE(trap);
                    localities = layer2.streetLocalities(
                        request.field2, *request.localities->asFeatureLayer(),
                        request.localityField, request.localityRule);
                }
            }
            const index::IndexKeys keys(filing, localities ? &*localities : nullptr);
            in.keys = &keys;

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
            if (localities && localities->skippedLocalities.any()) {
                skipped.push_back({request.localities->name(), localities->skippedLocalities});
            }
            for (const QString& warning : skippedWarnings(skipped)) {
                ui.notice(support::Notice::Warning, warning);
            }
            if (localities && !localities->keysToCheck.empty()) {
                ui.notice(support::Notice::Warning, piecesWarning(localities->keysToCheck));
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
                resultList.add(resultLines(map, request),
                               index::CollationOptions{request.print.numericOrder});
                // Only a table is made from the map itself: for the other
                // outputs it is freed beside their writing.
                std::optional<support::FreedAside<index::IndexMap>> freeing;
                if (request.output != Output::Table) {
                    freeing.emplace(std::move(map));
                }
                BRAMLOTTE_LINE(trap);
                const auto resultLines = [&](const exporting::SaveTarget&) {
                    return textsOf(printedLines(resultList, request.print));
                };
                if (request.output == Output::TextFile) {
                    deliverFile(exporting::SaveKind::TextFile, resultLines, request, context, ui,
                                run, outcome);
                }
                BRAMLOTTE_LINE(trap);
                const auto tableRows = [&](const exporting::SaveTarget& target) {
                    return index::TableRows(map, target.delimiter);
                };
                if (request.output == Output::Table) {
                    deliverFile(exporting::SaveKind::Table, tableRows, request, context, ui, run,
                                outcome);
                }
                BRAMLOTTE_LINE(trap);
                if (request.output == Output::Layout && request.print.fitLayout) {
                    const FittedLayout fitted =
                        PlaceFitted(documentOf(context), request.layoutName,
                                    flowLinesOf(printedLines(resultList, request.print)),
                                    request.columns, request.print);
                    if (request.print.fitPages > 0 && fitted.pages > request.print.fitPages) {
                        ui.notice(
                            support::Notice::Warning,
                            QStringLiteral("The index does not fit %1 even at %2 pt: "
                                           "it takes %3.")
                                .arg(request.print.fitPages == 1
                                         ? QStringLiteral("1 page")
                                         : QStringLiteral("%1 pages").arg(request.print.fitPages))
                                .arg(kSmallestFittedPoints)
                                .arg(fitted.pages));
                    }
                } else if (request.output == Output::Layout) {
                    PlaceColumns(documentOf(context), request.layoutName,
                                 textsOf(printedLines(resultList, request.print)), request.columns);
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
            ui.setPointer(support::Pointer::Default);
        },
        [&] { run.undo(); });  // the general failure path
    if (!ran) {
        outcome.result = Result::Failed;
    }
    return outcome;
}

}  // namespace

BuildOutcome BuildIndex(const BuildChoices& choices, BuildContext& context) {
    Said said(context);
    BuildOutcome outcome;
    std::optional<BuildRequest> request;
    const bool checked = BRAMLOTTE_TRAP(
        said.reporter, context.procedure, context.module, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            if (context.resultList) {
                context.resultList->clear();
            }
            BRAMLOTTE_LINE(trap);
            request = ValidateRequest(choices, context.document, said.ui);
            if (!request) {
                outcome.result = Result::Refused;
            }
        });
    if (!checked) {
        said.ui.setPointer(support::Pointer::Default);
        outcome.result = Result::Failed;
        return said.into(outcome);
    }
    if (request) {
        outcome = runRequest(*request, context, said);
    }
    return said.into(outcome);
}

BuildOutcome RunBuild(BuildRequest request, BuildContext& context) {
    Said said(context);
    if (context.resultList) {
        context.resultList->clear();
    }
    return said.into(runRequest(request, context, said));
}

}  // namespace bramlotte::buildrun
