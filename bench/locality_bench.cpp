// bench_localities: tells the same-named streets of a map apart by the
// localities they lie in, and times it: the first run includes the one read
// of the streets into their feature store, the second finds it held.
//
//   bench_localities MAP [STREETS KEY LOCALITIES NAME [DISTANCE]]
//
// Defaults: streets name quarters name 0, the layers of monaco.gpkg.
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/program/map_opener.h"
#include "map/qgis/program/qgis_session.h"

#include <QElapsedTimer>

#include <cstdio>
#include <string>

using namespace bramlotte;

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6 && argc != 7) {
        std::fprintf(stderr,
                     "usage: bench_localities MAP [STREETS KEY LOCALITIES NAME [DISTANCE]]\n");
        return 64;
    }
    const QString path = argv[1];
    const QString streetsName = argc > 2 ? argv[2] : "streets";
    const QString keyName = argc > 2 ? argv[3] : "name";
    const QString localitiesName = argc > 2 ? argv[4] : "quarters";
    const QString nameName = argc > 2 ? argv[5] : "name";
    const double distance = argc > 6 ? std::stod(argv[6]) : 0;

    qgishost::QgisSession session(argc, argv, false);
    QgsProject project;
    qgishost::openMap(project, {path});
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    auto streets = map::lastFeatureLayerNamed(*map, streetsName);
    auto localities = map::lastFeatureLayerNamed(*map, localitiesName);
    if (!streets || !localities) {
        std::fprintf(stderr, "bench_localities: no layer %s or %s\n", qPrintable(streetsName),
                     qPrintable(localitiesName));
        return 1;
    }
    const int key = streets->asFeatureLayer()->featureClass()->findField(keyName);
    const int name = localities->asFeatureLayer()->featureClass()->findField(nameName);
    std::printf("%-10s %-10s %-10s %-8s %-8s %-10s %-10s\n", "segments", "localities", "streets",
                "split", "check", "first s", "held s");
    QElapsedTimer timer;
    timer.start();
    host::StreetLocalities found = streets->asFeatureLayer()->streetLocalities(
        key, *localities->asFeatureLayer(), name, {distance, false});
    const double first = timer.nsecsElapsed() / 1e9;
    timer.restart();
    found = streets->asFeatureLayer()->streetLocalities(key, *localities->asFeatureLayer(), name,
                                                        {distance, false});
    const double held = timer.nsecsElapsed() / 1e9;
    std::printf("%-10lld %-10d %-10d %-8zu %-8zu %-10.2f %-10.2f\n",
                streets->asFeatureLayer()->featureClass()->featureCount(), found.localityCount(),
                found.streetCount(), found.splitKeys.size(), found.keysToCheck.size(), first, held);
    return 0;
}
