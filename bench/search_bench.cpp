// bench_search: searches the streets of a generated town for every page,
// next to the time it takes merely to read both layers once.
//
//   bench_search [--segments N] [--cache DIR]
//
// The town is generated once per size and seed and kept in the cache folder.
#include "bench/town_generator.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/program/map_opener.h"
#include "map/qgis/program/qgis_session.h"

#include <qgsfeatureiterator.h>
#include <qgsvectorlayer.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <string>

using namespace bramlotte;

namespace {

struct Counts {
    long long features = 0;
    long long hits = 0;
    double firstSearchSeconds = 0;  // includes the one read of the streets
};

// Reads every feature of a layer, attributes and geometry, as the host does.
long long readAll(const QString& path, const QString& table) {
    QgsVectorLayer layer(path + "|layername=" + table, table, "ogr");
    QgsFeature f;
    long long n = 0;
    auto it = layer.getFeatures();
    while (it.nextFeature(f)) {
        n += f.hasGeometry() ? 1 : 0;
    }
    return n;
}

// One host search of the streets per page, reading each hit's name.
Counts searchAll(const QString& path) {
    QgsProject project;
    qgishost::openMap(project, {path});
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    auto streets = map::lastFeatureLayerNamed(*map, "streets");
    auto pages = map::lastFeatureLayerNamed(*map, "pages");
    auto streetClass = streets->asFeatureLayer()->featureClass();
    const int name = streetClass->findField("name");
    const QString shapeField = streetClass->shapeFieldName();
    Counts counts;
    auto cursor = pages->asFeatureLayer()->search();
    QElapsedTimer first;
    while (auto page = cursor->nextFeature()) {
        ++counts.features;
        if (counts.features == 1) {
            first.start();
        }
        auto hits = streetClass->search({page->shape(), host::relation::kIntersects, shapeField});
        if (counts.features == 1) {
            counts.firstSearchSeconds = first.nsecsElapsed() / 1e9;
        }
        while (auto street = hits->nextFeature()) {
            counts.hits += street->value(name).isNull() ? 0 : 1;
        }
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv) {
    long long segments = 1000000;
    QString cache = QDir::temp().filePath("bramlotte-bench");
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--segments") && i + 1 < argc) {
            segments = std::stoll(argv[++i]);
        } else if (!std::strcmp(argv[i], "--cache") && i + 1 < argc) {
            cache = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench_search [--segments N] [--cache DIR]\n");
            return 64;
        }
    }
    qgishost::QgisSession session(argc, argv, false);
    QDir().mkpath(cache);
    const QString town = QDir(cache).filePath(QStringLiteral("town-%1.gpkg").arg(segments));
    if (!QFileInfo::exists(town)) {
        std::fprintf(stderr, "generating %s ...\n", qPrintable(town));
        bench::TownOptions options;
        options.segments = segments;
        const QString partial =
            QDir(cache).filePath(QStringLiteral("partial-%1.gpkg").arg(segments));
        QFile::remove(partial);
        bench::generateTown(partial.toStdString(), options);
        QFile::rename(partial, town);
    }

    QElapsedTimer timer;
    timer.start();
    const long long streets = readAll(town, "streets");
    const long long pages = readAll(town, "pages");
    const double readSeconds = timer.nsecsElapsed() / 1e9;

    timer.restart();
    const Counts counts = searchAll(town);
    const double searchSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("%-10s %-8s %-10s %-8s %-10s %-12s %-8s\n", "segments", "pages", "hits", "read s",
                "search s", "(first one)", "ratio");
    std::printf("%-10lld %-8lld %-10lld %-8.2f %-10.2f %-12.2f %-8.2f\n", streets, pages,
                counts.hits, readSeconds, searchSeconds, counts.firstSearchSeconds,
                searchSeconds / readSeconds);
    return counts.features == pages ? 0 : 1;
}
