#include "cli/build_command.h"

#include "cli/commands.h"
#include "dialog/frm_main.h"
#include "export/frm_load_dir.h"
#include "map/map_walk.h"
#include "map/qgis/project_saving.h"
#include "map/qgis/qgis_application.h"
#include "map/qgis/qgis_document.h"
#include "map/qgis/qgis_page_layout.h"
#include "support/addin_state.h"
#include "support/product.h"
#include "support/scripted_ui_toolkit.h"
#include "support/terminal_progress.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace bramlotte::cli {
namespace {

// A choice the picker does not offer.
struct UsageError {
    QString message;
};

// A chosen layer whose data cannot be reached.
struct Unavailable {
    QString message;
};

// Fails when the layer `name` (as the pickers find it) cannot be read.
void requireAvailable(host::MapDocument& document, const QString& name, const QString& what) {
    const std::unique_ptr<host::Layer> layer =
        map::lastFeatureLayerNamed(*document.focusMap(), name);
    host::FeatureLayer* features = layer ? layer->asFeatureLayer() : nullptr;
    const QString reason = features ? features->unavailableReason() : QString();
    if (!reason.isEmpty()) {
        throw Unavailable{QStringLiteral("%1 \"%2\" is unavailable: %3").arg(what, name, reason)};
    }
}

QStringList entries(const QComboBox& c) {
    QStringList l;
    for (int i = 0; i < c.count(); ++i) {
        l << c.itemText(i);
    }
    return l;
}

// Picks `text` in `picker` exactly as listed.
void pick(QComboBox& picker, const QString& text, const QString& what) {
    const int at = picker.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0) {
        const QStringList offered = entries(picker);
        throw UsageError{QStringLiteral("%1 \"%2\" is not offered; the choices are: %3")
                             .arg(what, text,
                                  offered.isEmpty() ? QStringLiteral("(none)")
                                                    : offered.join(QStringLiteral(", ")))};
    }
    picker.setCurrentIndex(at);
}

QRadioButton* outputOption(dialog::frmMain& d, const QString& output) {
    if (output == QLatin1String("text")) {
        return d.optText;
    }
    if (output == QLatin1String("table")) {
        return d.optTable;
    }
    if (output == QLatin1String("field")) {
        return d.optFields;
    }
    if (output == QLatin1String("layout")) {
        return d.optElement;
    }
    if (output == QLatin1String("window")) {
        return d.optWindow;
    }
    throw UsageError{QStringLiteral("--output takes text, table, field, layout or window")};
}

// Plays the user's part in a save dialog: folder, name, delimiter, Save; and
// Cancel when Save did not close it (the overwrite question answered No).
int playSaveDialog(exporting::frmLoadDir& d, const BuildOptions& o) {
    if (o.saveAs) {
        const QFileInfo target(*o.saveAs);
        d.Dir1->setPath(target.absolutePath());
        d.Text1->setText(target.fileName());
    }
    if (d.Option2 && o.delimiter == QLatin1String("tab")) {
        d.Option2->setChecked(true);
        d.Option2_Click();
    }
    d.btnSave_Click();
    if (d.result() != QDialog::Accepted) {
        d.btnCancel_Click();
    }
    return d.result();
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

    // The add-in state as the command's creation and click leave it.
    AddInState& state = addInState();
    const AddInState saved = state;
    auto ui = std::make_shared<support::ScriptedUiToolkit>();
    ui->setFallbackAnswer(o.yes ? support::Answer::Yes : support::Answer::No);
    ui->setEcho([&err](const support::ScriptedUiToolkit::Message& m) {
        err << m.text << Qt::endl;
        if (m.buttons == support::Buttons::YesNo) {
            err << (m.answer == support::Answer::Yes ? "Yes" : "No") << Qt::endl;
        }
        err.flush();
    });
    ui->setNoteEcho([&err](const support::ScriptedUiToolkit::Note& n) {
        err << (n.kind == support::Notice::Warning ? "Warning: " : "") << n.text << Qt::endl;
    });
    ui->setFormScript([&o](QDialog& form) {
        return playSaveDialog(static_cast<exporting::frmLoadDir&>(form), o);
    });
    auto document = std::make_shared<qgishost::QgisMapDocument>(project);
    auto application = std::make_shared<qgishost::QgisApplication>(
        document, std::make_shared<support::SimpleStatusBar>(
                      std::make_unique<support::TerminalProgress>(stderr)));
    state.productName = product::kName;
    state.productVersion = product::kVersionText;
    state.ui = ui;
    state.statusBar = application->statusBar();
    struct Restore {
        const AddInState& saved;
        ~Restore() { addInState() = saved; }
    } restore{saved};

    auto dialog = std::make_unique<dialog::frmMain>();
    dialog::frmMain& d = *dialog;
    d.attach({application, document, std::make_shared<exporting::ExportTargets>(), o.print});
    d.Frame();
    try {
        pick(*d.cboMapLayers, o.layer1, QStringLiteral("Layer #1"));
        requireAvailable(*document, o.layer1, QStringLiteral("Layer #1"));
        d.cboMapLayers_Click();
        pick(*d.cboLayerFields, o.field1, QStringLiteral("Layer #1 field"));
        pick(*d.cboSearchLayers, o.layer2, QStringLiteral("Layer #2"));
        requireAvailable(*document, o.layer2, QStringLiteral("Layer #2"));
        d.cboSearchLayers_Change();
        pick(*d.cboSearchLayerFields, o.field2, QStringLiteral("Layer #2 field"));
        if (o.relationship) {
            pick(*d.cboRelationship, *o.relationship, QStringLiteral("Relationship"));
        }
        outputOption(d, o.output)->setChecked(true);
        if (o.outputField) {
            pick(*d.cboOutputFields, *o.outputField, QStringLiteral("Output field"));
        }
    } catch (const UsageError& e) {
        err << e.message << Qt::endl;
        return kExitUsage;
    } catch (const Unavailable& e) {
        err << e.message << Qt::endl;
        return kExitFailed;
    }
    if (o.columnSeparator) {
        d.txtSeparator->setText(*o.columnSeparator);
    }
    if (o.itemSeparator) {
        d.txtItemSep->setText(*o.itemSeparator);
    }
    if (o.columns) {
        d.txtNum->setText(*o.columns);
    }

    d.btnNext->click();  // the press of "Build Index"
    const buildrun::BuildOutcome& outcome = d.lastOutcome();
    for (const QString& file : outcome.filesWritten) {
        out << file << Qt::endl;
    }
    if (o.output == QLatin1String("window")) {
        for (const QString& line : d.resultList().lines()) {
            out << line << Qt::endl;
        }
    }
    if (outcome.result != buildrun::BuildOutcome::Result::Built) {
        return exitStatus(outcome);
    }
    try {
        if (o.layoutPdf) {
            qgishost::exportPageLayoutPdf(project, *o.layoutPdf);
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
