#include "cli/commands.h"

#include "bench/town_generator.h"
#include "index/index_formatting.h"
#include "index/relate.h"
#include "map/map_walk.h"
#include "map/qgis/map_opener.h"
#include "map/qgis/qgis_document.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace bramlotte::cli {
namespace {

std::unique_ptr<host::Layer> findLayer(host::FocusMap& map, const QString& name) {
    std::unique_ptr<host::Layer> found;
    map::walkFeatureLayers(map, [&](std::unique_ptr<host::Layer> layer) {
        if (layer->name().compare(name, Qt::CaseInsensitive) == 0) {
            found = std::move(layer);
        }
    });
    return found;
}

}  // namespace

int runLayers(const QStringList& maps, QTextStream& out, QTextStream& err) {
    QgsProject project;
    try {
        qgishost::openMap(project, maps);
    } catch (const host::HostError& e) {
        err << e.description() << Qt::endl;
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
    const QString town = QDir(dir).filePath(QStringLiteral("demo-town.gpkg"));
    QFile::remove(town);
    bench::TownOptions options;
    options.segments = 600;
    options.seed = 2003;
    try {
        bench::generateTown(town.toStdString(), options);
    } catch (const std::exception& e) {
        err << e.what() << Qt::endl;
        return kExitFailed;
    }
    out << "Demo map: " << town << Qt::endl;
    if (const int status = runLayers({town}, out, err); status != kExitOk) {
        return status;
    }

    QgsProject project;
    qgishost::openMap(project, {town});
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    auto pages = findLayer(*map, QStringLiteral("pages"));
    auto streets = findLayer(*map, QStringLiteral("streets"));
    index::RelateInputs in;
    in.layer1 = pages->asFeatureLayer();
    in.field1 = in.layer1->featureClass()->findField(QStringLiteral("PAGE"));
    in.layer2 = streets->asFeatureLayer();
    in.field2 = in.layer2->featureClass()->findField(QStringLiteral("name"));
    index::ResultList lines;
    try {
        index::FillResultList(index::Relate(in, nullptr), QStringLiteral("..."), lines);
    } catch (const std::exception& e) {
        err << e.what() << Qt::endl;
        return kExitFailed;
    }

    const QString indexPath = QDir(dir).filePath(QStringLiteral("index.txt"));
    QSaveFile file(indexPath);
    if (!file.open(QIODevice::WriteOnly)) {
        err << "Cannot write " << indexPath << ": " << file.errorString() << Qt::endl;
        return kExitFailed;
    }
    for (const QString& line : lines.lines()) {
        file.write(line.toUtf8());
        file.write("\r\n");
    }
    if (!file.commit()) {
        err << "Cannot write " << indexPath << ": " << file.errorString() << Qt::endl;
        return kExitFailed;
    }
    out << "Street index of " << lines.count() << " names: " << indexPath << Qt::endl;
    return kExitOk;
}

}  // namespace bramlotte::cli
