#include "cli/commands.h"

#include "cli/build_command.h"

#include "bench/town_generator.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/program/map_opener.h"

#include "support/desktop/scripted_ui_toolkit.h"

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QDir>
#include <QFileInfo>

namespace bramlotte::cli {

bool openMapOrSay(QgsProject& project, const QStringList& maps, QTextStream& err) {
    try {
        qgishost::openMap(project, maps);
        return true;
    } catch (const support::Failure& e) {
        err << e.description() << Qt::endl;
        return false;
    }
}

QgsVectorLayer* layerNamed(QgsProject& project, const QString& name) {
    QgsVectorLayer* found = nullptr;
    for (QgsLayerTreeLayer* node : project.layerTreeRoot()->findLayers()) {
        auto* layer = qobject_cast<QgsVectorLayer*>(node->layer());
        if (layer && layer->isSpatial() && layer->name().compare(name, Qt::CaseInsensitive) == 0) {
            found = layer;
        }
    }
    return found;
}

std::optional<print::Paper> paperNamed(const QString& name) {
    for (const auto& [text, paper] :
         {std::pair{"A4", print::Paper::A4}, std::pair{"A3", print::Paper::A3},
          std::pair{"Letter", print::Paper::Letter}}) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
            return paper;
        }
    }
    return std::nullopt;
}

void echoOnTerminal(support::ScriptedUiToolkit& ui, QTextStream& err) {
    ui.setEcho([&err](const support::ScriptedUiToolkit::Message& m) {
        err << m.text << Qt::endl;
        if (m.buttons == support::Buttons::YesNo) {
            err << (m.answer == support::Answer::Yes ? "Yes" : "No") << Qt::endl;
        }
        err.flush();
    });
    ui.setNoteEcho([&err](const support::ScriptedUiToolkit::Note& n) {
        err << (n.kind == support::Notice::Warning ? "Warning: " : "") << n.text << Qt::endl;
    });
}

int runLayers(const QStringList& maps, QTextStream& out, QTextStream& err) {
    QgsProject project;
    if (!openMapOrSay(project, maps, err)) {
        return kExitUsage;
    }
    qgishost::QgisMapDocument document(project);
    map::walkFeatureLayers(*document.focusMap(), [&](std::unique_ptr<host::Layer> layer) {
        QStringList line{layer->name()};
        auto fields = layer->asFeatureLayer()->tableView();
        for (int i = 0; i < fields->fieldCount(); ++i) {
            line << fields->fieldName(i);
        }
        out << line.join(QLatin1Char('\t')) << Qt::endl;
    });
    return kExitOk;
}

int runDemo(const QString& dir, QTextStream& out, QTextStream& err) {
    if (!QDir().mkpath(dir)) {
        err << "Cannot create the folder " << dir << Qt::endl;
        return kExitFailed;
    }
    const QDir folder(dir);
    const QString town = folder.filePath(QStringLiteral("demo-town.gpkg"));
    const QString indexed = folder.filePath(QStringLiteral("demo-town-indexed.gpkg"));
    QFile::remove(town);
    QFile::remove(indexed);
    bench::TownOptions options;
    options.segments = 600;
    options.seed = 2003;
    options.pagesField = true;
    try {
        bench::generateTown(town.toStdString(), options);
    } catch (const std::exception& e) {
        err << e.what() << Qt::endl;
        return kExitFailed;
    }
    if (!QFile::copy(town, indexed)) {
        err << "Cannot copy the demo map to " << indexed << Qt::endl;
        return kExitFailed;
    }
    // The street index of the demo town, in each of the four outputs; what
    // each build wrote is told as what it is.
    QString written;
    QTextStream paths(&written);
    BuildOptions build;
    build.maps = QStringList{town};
    build.layer1 = QStringLiteral("pages");
    build.field1 = QStringLiteral("PAGE");
    build.layer2 = QStringLiteral("streets");
    build.field2 = QStringLiteral("name");
    build.yes = true;
    build.saveAs = folder.filePath(QStringLiteral("index"));
    auto run = [&](const QString& what) {
        written.clear();
        const int status = runBuild(build, paths, err);
        paths.flush();
        for (const QString& path : written.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            out << what << ": " << path << Qt::endl;
        }
        return status;
    };
    out << "Demo map (600 street segments and their page grid): " << town << Qt::endl;
    build.output = QStringLiteral("text");
    if (const int status = run(QStringLiteral("Street index, alphabetical")); status != kExitOk) {
        return status;
    }
    build.output = QStringLiteral("table");
    if (const int status = run(QStringLiteral("Street index as a table, a page a cell"));
        status != kExitOk) {
        return status;
    }
    // The index as a publisher prints it: fitted to the page in four
    // columns, runs of pages as ranges, a heading for each letter.
    build.output = QStringLiteral("layout");
    build.columns = QStringLiteral("4");
    build.print.fitLayout = true;
    build.print.ranges = true;
    build.print.headings = true;
    build.layoutPdf = folder.filePath(QStringLiteral("index.pdf"));
    if (const int status =
            run(QStringLiteral("Print-ready index (PDF: four columns, ranges, headings)"));
        status != kExitOk) {
        return status;
    }
    build.layoutPdf.reset();
    build.print = buildrun::PrintOptions();
    build.maps = QStringList{indexed};
    build.output = QStringLiteral("field");
    build.outputField = QStringLiteral("pages");
    if (const int status = run(QString()); status != kExitOk) {
        return status;
    }
    out << "The map with each street's pages in its field \"pages\": " << indexed << Qt::endl;
    return kExitOk;
}

}  // namespace bramlotte::cli
