#include "cli/atlas_command.h"

#include "atlas/street_atlas_job.h"
#include "cli/commands.h"
#include "map/qgis/program/project_saving.h"
#include "support/base/product.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace bramlotte::cli {
namespace {

bool isProjectFile(const QString& path) {
    return path.endsWith(QLatin1String(".qgs")) || path.endsWith(QLatin1String(".qgz"));
}

}  // namespace

int runAtlas(const AtlasOptions& o, QTextStream& out, QTextStream& err) {
    if (o.layer1.has_value() == o.paper.has_value() || (o.paper && !o.scale) ||
        o.layer1.has_value() != o.field1.has_value()) {
        err << "bramlotte atlas: give either --layer1 and --field1, or --paper with --scale"
            << Qt::endl;
        return kExitUsage;
    }
    std::optional<print::Paper> paper;
    if (o.paper && !(paper = paperNamed(*o.paper))) {
        err << "bramlotte atlas: --paper takes A4, A3 or Letter" << Qt::endl;
        return kExitUsage;
    }
    const bool projectFile = o.maps.size() == 1 && isProjectFile(o.maps.first());
    if (o.saveProject && !projectFile) {
        err << "--save-project needs a QGIS project file as the map" << Qt::endl;
        return kExitUsage;
    }
    QgsProject project;
    if (!openMapOrSay(project, o.maps, err)) {
        return kExitUsage;
    }
    atlas::AtlasRequest request;
    request.project = &project;
    auto need = [&](const QString& name, const QString& what) {
        QgsVectorLayer* layer = layerNamed(project, name);
        if (!layer) {
            err << "The map has no layer " << name << " with shapes (" << what << ")" << Qt::endl;
        }
        return layer;
    };
    if (!(request.streets = need(o.layer2, QStringLiteral("--layer2")))) {
        return kExitUsage;
    }
    request.streetField = o.field2;
    if (o.layer1) {
        if (!(request.pages = need(*o.layer1, QStringLiteral("--layer1")))) {
            return kExitUsage;
        }
        request.pageField = *o.field1;
    } else {
        request.grid.paper = *paper;
        request.grid.orientation =
            o.landscape ? print::Orientation::Landscape : print::Orientation::Portrait;
        request.grid.scale = *o.scale;
        request.grid.overlapMillimetres = o.overlap;
        request.grid.squares = o.squares;
    }
    if (o.localities) {
        if (!(request.localities = need(*o.localities, QStringLiteral("--localities")))) {
            return kExitUsage;
        }
        request.localityField = o.localityField.value_or(QString());
        request.localityRule.always = o.localityAlways;
        request.localityRule.joinDistance = o.joinDistance;
    }
    request.columns = static_cast<int16_t>(o.columns);
    request.print = o.print;
    request.title = o.title;
    request.pdf = QFileInfo(o.pdf).absoluteFilePath();
    // The grid stays beside a project that is saved with it; otherwise it
    // lives as long as the atlas is being made.
    QTemporaryDir scratch;
    request.gridFile = o.saveProject ? QFileInfo(project.fileName()).absolutePath() + "/" +
                                           QFileInfo(project.fileName()).completeBaseName() +
                                           "-atlas-pages.gpkg"
                                     : scratch.filePath(QStringLiteral("atlas-pages.gpkg"));

    support::ScriptedUiToolkit ui;
    ui.setEcho([&err](const support::ScriptedUiToolkit::Message& m) { err << m.text << Qt::endl; });
    ui.setNoteEcho([&err](const support::ScriptedUiToolkit::Note& n) {
        err << (n.kind == support::Notice::Warning ? "Warning: " : "") << n.text << Qt::endl;
    });
    const auto statusBar = std::make_shared<support::SimpleStatusBar>(
        std::make_unique<support::TerminalProgress>(stderr));
    atlas::AtlasContext context(ui);
    context.progress = statusBar->progressIndicator();
    context.reporter = {&ui, statusBar, product::kName, product::kVersionText, {}};
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    context.pageProgress = [&err, terminal](int page, int pages) {
        if (terminal) {
            err << "\rPage " << page << " of " << pages << (page == pages ? "\n" : "");
            err.flush();
        }
    };
    const atlas::AtlasOutcome outcome = atlas::MakeStreetAtlas(request, context);
    if (!outcome.made) {
        err << outcome.failure << Qt::endl;
        return outcome.cancelled || outcome.index.result == buildrun::BuildOutcome::Result::Refused
                   ? kExitRefused
                   : kExitFailed;
    }
    out << request.pdf << Qt::endl;
    err << outcome.mapPages << " map pages at 1:" << qRound(outcome.mapScale)
        << ", then the index; the grid " << QString::number(outcome.gridSeconds, 'f', 2)
        << " s, the index " << QString::number(outcome.indexSeconds, 'f', 2) << " s, the PDF "
        << QString::number(outcome.pdfSeconds, 'f', 2) << " s" << Qt::endl;
    if (o.saveProject) {
        try {
            qgishost::saveProjectFile(project);
        } catch (const support::Failure& e) {
            err << e.description() << Qt::endl;
            return kExitFailed;
        }
        out << request.gridFile << Qt::endl << project.fileName() << Qt::endl;
    }
    return kExitOk;
}

}  // namespace bramlotte::cli
