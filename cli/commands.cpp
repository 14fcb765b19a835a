#include "cli/commands.h"

#include "cli/build_command.h"

#include "bench/town_generator.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/program/map_opener.h"

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
    out << "Demo map: " << town << Qt::endl;

    // The street index of the demo town, in each of the four outputs.
    BuildOptions build;
    build.maps = QStringList{town};
    build.layer1 = QStringLiteral("pages");
    build.field1 = QStringLiteral("PAGE");
    build.layer2 = QStringLiteral("streets");
    build.field2 = QStringLiteral("name");
    build.yes = true;
    build.saveAs = folder.filePath(QStringLiteral("index"));
    for (const QString& output : {QStringLiteral("text"), QStringLiteral("table")}) {
        build.output = output;
        if (const int status = runBuild(build, out, err); status != kExitOk) {
            return status;
        }
    }
    build.output = QStringLiteral("layout");
    build.columns = QStringLiteral("3");
    build.layoutPdf = folder.filePath(QStringLiteral("index.pdf"));
    if (const int status = runBuild(build, out, err); status != kExitOk) {
        return status;
    }
    build.layoutPdf.reset();
    build.maps = QStringList{indexed};
    build.output = QStringLiteral("field");
    build.outputField = QStringLiteral("pages");
    if (const int status = runBuild(build, out, err); status != kExitOk) {
        return status;
    }
    out << indexed << Qt::endl;
    return kExitOk;
}

}  // namespace bramlotte::cli
