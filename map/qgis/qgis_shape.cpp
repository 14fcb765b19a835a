#include "map/qgis/qgis_shape.h"

#include <qgsabstractgeometry.h>
#include <qgscurvepolygon.h>
#include <qgsgeometrycollection.h>
#include <qgslinestring.h>
#include <qgspoint.h>

#include <cmath>

namespace bramlotte::qgishost {
namespace {

bool finite(double x, double y) {
    return std::isfinite(x) && std::isfinite(y);
}

// Whether every vertex of `g` has finite x and y. Points, straight lines,
// polygons of them and collections are read from their coordinate arrays
// (a page's check is done once per search); other shapes vertex by vertex.
bool finiteVertices(const QgsAbstractGeometry& g) {
    if (const auto* point = qgsgeometry_cast<const QgsPoint*>(&g)) {
        return finite(point->x(), point->y());
    }
    if (const auto* line = qgsgeometry_cast<const QgsLineString*>(&g)) {
        const double* x = line->xData();
        const double* y = line->yData();
        for (int i = 0; i < line->numPoints(); ++i) {
            if (!finite(x[i], y[i])) {
                return false;
            }
        }
        return true;
    }
    if (const auto* polygon = qgsgeometry_cast<const QgsCurvePolygon*>(&g)) {
        if (polygon->exteriorRing() && !finiteVertices(*polygon->exteriorRing())) {
            return false;
        }
        for (int i = 0; i < polygon->numInteriorRings(); ++i) {
            if (!finiteVertices(*polygon->interiorRing(i))) {
                return false;
            }
        }
        return true;
    }
    if (const auto* collection = qgsgeometry_cast<const QgsGeometryCollection*>(&g)) {
        for (int i = 0; i < collection->numGeometries(); ++i) {
            if (!finiteVertices(*collection->geometryN(i))) {
                return false;
            }
        }
        return true;
    }
    for (auto v = g.vertices_begin(); v != g.vertices_end(); ++v) {
        const QgsPoint p = *v;
        if (!finite(p.x(), p.y())) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool QgisShape::isUsable() const {
    if (usable_ < 0) {
        const QgsAbstractGeometry* g = geometry_.constGet();
        usable_ = !g || finiteVertices(*g) ? 1 : 0;
    }
    return usable_ == 1;
}

}  // namespace bramlotte::qgishost
