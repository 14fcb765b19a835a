#include "cli/build_command.h"

#include "buildrun/build_run.h"
#include "cli/commands.h"
#include "cli/path_save_chooser.h"
#include "index/relate.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_application.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/desktop/qgis_page_layout.h"
#include "map/qgis/program/project_saving.h"
#include "support/base/product.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"

namespace bramlotte::cli {
namespace {

// A choice the map does not offer.
struct UsageError {
    QString message;
};

// A chosen layer whose data cannot be reached.
struct Unavailable {
    QString message;
};

// Requires `text` among `offered`, exactly as listed.
void requireOffered(const QStringList& offered, const QString& text, const QString& what) {
    if (!offered.contains(text)) {
        throw UsageError{QStringLiteral("%1 \"%2\" is not offered; the choices are: %3")
                             .arg(what, text,
                                  offered.isEmpty() ? QStringLiteral("(none)")
                                                    : offered.join(QStringLiteral(", ")))};
    }
}

QStringList namesOf(const host::Fields& fields) {
    QStringList names;
    for (int i = 0; i < fields.fieldCount(); ++i) {
        names << fields.fieldName(i);
    }
    return names;
}

// The layer `name` as the dialog's pickers offer and find it (the last of
// that name in the map walk), required to be readable.
host::FeatureLayer& offeredLayer(host::MapDocument& document, const QString& name,
                                 const QString& what, std::unique_ptr<host::Layer>& holder) {
    QStringList names;
    map::walkFeatureLayers(*document.focusMap(),
                           [&](std::unique_ptr<host::Layer> layer) { names << layer->name(); });
    requireOffered(names, name, what);
    holder = map::lastFeatureLayerNamed(*document.focusMap(), name);
    host::FeatureLayer& layer = *holder->asFeatureLayer();
    if (const QString reason = layer.unavailableReason(); !reason.isEmpty()) {
        throw Unavailable{QStringLiteral("%1 \"%2\" is unavailable: %3").arg(what, name, reason)};
    }
    return layer;
}

// The output option `--output` names.
buildrun::Output outputNamed(const QString& output) {
    using buildrun::Output;
    if (output == QLatin1String("text")) {
        return Output::TextFile;
    }
    if (output == QLatin1String("table")) {
        return Output::Table;
    }
    if (output == QLatin1String("field")) {
        return Output::Field;
    }
    if (output == QLatin1String("layout")) {
        return Output::Layout;
    }
    if (output == QLatin1String("window")) {
        return Output::Window;
    }
    throw UsageError{QStringLiteral("--output takes text, table, field, layout or window")};
}

// The choices the flags make, as the dialog's controls would hold them: only
// what its pickers offer, its text boxes' design values where no flag is
// given.
buildrun::BuildChoices choicesOf(const BuildOptions& o, host::MapDocument& document) {
    buildrun::BuildChoices c;
    std::unique_ptr<host::Layer> layer1, layer2;
    requireOffered(
        namesOf(*offeredLayer(document, o.layer1, QStringLiteral("Layer #1"), layer1).tableView()),
        o.field1, QStringLiteral("Layer #1 field"));
    host::FeatureLayer& streets =
        offeredLayer(document, o.layer2, QStringLiteral("Layer #2"), layer2);
    requireOffered(namesOf(*streets.tableView()), o.field2, QStringLiteral("Layer #2 field"));
    c.layer1 = o.layer1;
    c.field1 = o.field1;
    c.layer2 = o.layer2;
    c.field2 = o.field2;
    c.relationship = o.relationship.value_or(index::relationshipNames().first());
    requireOffered(index::relationshipNames(), c.relationship, QStringLiteral("Relationship"));
    c.output = outputNamed(o.output);
    if (o.outputField) {
        requireOffered(namesOf(*streets.featureClass()), *o.outputField,
                       QStringLiteral("Output field"));
        c.outputField = *o.outputField;
    }
    c.columnSeparator = o.columnSeparator.value_or(QStringLiteral("..."));
    c.itemSeparator = o.itemSeparator.value_or(QStringLiteral(","));
    c.columnText = o.columns.value_or(QStringLiteral("1"));
    c.print = o.print;
    c.layoutName = o.layoutName.value_or(QString());
    if (o.localities) {
        std::unique_ptr<host::Layer> holder;
        requireOffered(namesOf(*offeredLayer(document, *o.localities,
                                             QStringLiteral("Localities layer"), holder)
                                    .featureClass()),
                       *o.localityField, QStringLiteral("Locality field"));
        c.localities = *o.localities;
        c.localityField = *o.localityField;
        c.localityRule.always = o.localityAlways;
        c.localityRule.joinDistance = o.joinDistance;
    }
    return c;
}

// The exit status a build's outcome gives.
int exitStatus(const buildrun::BuildOutcome& outcome) {
    using Result = buildrun::BuildOutcome::Result;
    switch (outcome.result) {
        case Result::Built:
            return kExitOk;
        case Result::Refused:
        case Result::AnsweredNo:
        case Result::SaveCancelled:
            return kExitRefused;
        case Result::RelateFailed:
        case Result::EditFailed:
        case Result::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace

int runBuild(const BuildOptions& o, QTextStream& out, QTextStream& err) {
    if (o.delimiter != QLatin1String("comma") && o.delimiter != QLatin1String("tab")) {
        err << "--delimiter takes comma or tab" << Qt::endl;
        return kExitUsage;
    }
    const bool projectFile =
        o.maps.size() == 1 && (o.maps.first().endsWith(".qgs") || o.maps.first().endsWith(".qgz"));
    if (o.saveProject && !projectFile) {
        err << "--save-project needs a QGIS project file as the map" << Qt::endl;
        return kExitUsage;
    }
    QgsProject project;
    if (!openMapOrSay(project, o.maps, err)) {
        return kExitUsage;
    }

    // The messages as their boxes would show them; a question is answered
    // Yes only with --yes.
    support::ScriptedUiToolkit ui;
    ui.setFallbackAnswer(o.yes ? support::Answer::Yes : support::Answer::No);
    echoOnTerminal(ui, err);
    qgishost::QgisMapDocument document(project);
    const auto statusBar = std::make_shared<support::SimpleStatusBar>(
        std::make_unique<support::TerminalProgress>(stderr));

    buildrun::BuildChoices choices;
    try {
        choices = choicesOf(o, document);
    } catch (const UsageError& e) {
        err << e.message << Qt::endl;
        return kExitUsage;
    } catch (const Unavailable& e) {
        err << e.message << Qt::endl;
        return kExitFailed;
    }
    const support::Reporter reporter{&ui, statusBar, product::kName, product::kVersionText, {}};
    PathSaveChooser chooser(o.saveAs, o.delimiter == QLatin1String("tab"), ui, reporter);
    index::ResultList lines;
    buildrun::BuildContext context(ui);
    context.document = &document;
    context.progress = statusBar->progressIndicator();
    context.saveChooser = &chooser;
    context.resultList = &lines;
    context.reporter = reporter;
    const buildrun::BuildOutcome outcome = buildrun::BuildIndex(choices, context);

    for (const QString& file : outcome.filesWritten) {
        out << file << Qt::endl;
    }
    if (choices.output == buildrun::Output::Window) {
        for (const QString& line : lines.lines()) {
            out << line << Qt::endl;
        }
    }
    if (outcome.result != buildrun::BuildOutcome::Result::Built) {
        return exitStatus(outcome);
    }
    try {
        if (o.layoutPdf) {
            qgishost::exportPageLayoutPdf(project, *o.layoutPdf, choices.layoutName);
            out << *o.layoutPdf << Qt::endl;
        }
        if (o.saveProject) {
            qgishost::saveProjectFile(project);
            out << project.fileName() << Qt::endl;
        }
    } catch (const support::Failure& e) {
        err << e.description() << Qt::endl;
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace bramlotte::cli
