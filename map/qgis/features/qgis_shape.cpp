#include "map/qgis/features/qgis_shape.h"

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

// Whether every polygon ring of `g` has three distinct points (a ring of
// fewer bounds no area, and GEOS refuses it).
bool ringsBoundAreas(const QgsAbstractGeometry& g) {
    if (const auto* polygon = qgsgeometry_cast<const QgsCurvePolygon*>(&g)) {
        auto bounds = [](const QgsCurve* ring) {
            if (!ring || ring->isEmpty()) {
                return true;
            }
            QgsPoint first, second;
            int distinct = 0;
            for (auto v = ring->vertices_begin(); v != ring->vertices_end(); ++v) {
                const QgsPoint p = *v;
                if (distinct == 0) {
                    first = p;
                    distinct = 1;
                } else if (distinct == 1 && (p.x() != first.x() || p.y() != first.y())) {
                    second = p;
                    distinct = 2;
                } else if (distinct == 2 && (p.x() != first.x() || p.y() != first.y()) &&
                           (p.x() != second.x() || p.y() != second.y())) {
                    return true;
                }
            }
            return false;
        };
        if (!bounds(polygon->exteriorRing())) {
            return false;
        }
        for (int i = 0; i < polygon->numInteriorRings(); ++i) {
            if (!bounds(polygon->interiorRing(i))) {
                return false;
            }
        }
        return true;
    }
    if (const auto* collection = qgsgeometry_cast<const QgsGeometryCollection*>(&g)) {
        for (int i = 0; i < collection->numGeometries(); ++i) {
            if (!ringsBoundAreas(*collection->geometryN(i))) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

host::ShapeFault QgisShape::fault() const {
    if (fault_ < 0) {
        const QgsAbstractGeometry* g = geometry_.constGet();
        host::ShapeFault fault = host::ShapeFault::None;
        if (g && !finiteVertices(*g)) {
            fault = host::ShapeFault::NonFinite;
        } else if (g && !ringsBoundAreas(*g)) {
            fault = host::ShapeFault::DegenerateRing;
        }
        fault_ = static_cast<int>(fault);
    }
    return static_cast<host::ShapeFault>(fault_);
}

}  // namespace bramlotte::qgishost
