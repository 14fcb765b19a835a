// bench_read: the read floor of a map. Reads every feature of the named
// layers once, attributes and geometry, through the path the host reads by,
// and prints the seconds it took and the size of the shapes as WKB.
//   bench_read MAP.gpkg LAYER...
#include "map/qgis/program/qgis_session.h"

#include <qgsfeatureiterator.h>
#include <qgsvectorlayer.h>

#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_read MAP.gpkg LAYER...\n");
        return 64;
    }
    bramlotte::qgishost::QgisSession session(argc, argv, false);
    const QString map = QString::fromLocal8Bit(argv[1]);
    QElapsedTimer timer;
    timer.start();
    long long features = 0, wkbBytes = 0;
    for (int i = 2; i < argc; ++i) {
        const QString layerName = QString::fromLocal8Bit(argv[i]);
        QgsVectorLayer layer(map + "|layername=" + layerName, layerName, "ogr");
        if (!layer.isValid()) {
            std::fprintf(stderr, "cannot read layer %s\n", argv[i]);
            return 1;
        }
        QgsFeature f;
        for (auto it = layer.getFeatures(); it.nextFeature(f);) {
            ++features;
            if (f.hasGeometry()) {
                wkbBytes += f.geometry().constGet()->wkbSize();
            }
        }
    }
    std::printf("%.3f %lld %lld\n", timer.nsecsElapsed() / 1e9, features, wkbBytes);
    return 0;
}
