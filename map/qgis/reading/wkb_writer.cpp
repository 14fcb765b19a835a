#include "map/qgis/reading/wkb_writer.h"

#include "map/search/wkb.h"

#include <qgsgeometrycollection.h>
#include <qgslinestring.h>
#include <qgspoint.h>
#include <qgspolygon.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace bramlotte::qgishost {
namespace {

using search::WkbType;

void put32(std::vector<unsigned char>& out, uint32_t v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);  // little-endian machine; the header byte says so
    out.insert(out.end(), b, b + 4);
}

void putCoordinates(std::vector<unsigned char>& out, const double* x, const double* y, int n) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) * 16);
    unsigned char* p = out.data() + at;
    for (int i = 0; i < n; ++i, p += 16) {
        std::memcpy(p, &x[i], 8);
        std::memcpy(p + 8, &y[i], 8);
    }
}

void header(std::vector<unsigned char>& out, WkbType type) {
    out.push_back(1);  // little-endian
    put32(out, static_cast<uint32_t>(type));
}

void putLine(std::vector<unsigned char>& out, const QgsLineString& line) {
    put32(out, static_cast<uint32_t>(line.numPoints()));
    putCoordinates(out, line.xData(), line.yData(), line.numPoints());
}

// A ring whose last point is not its first is closed, as GEOS needs it.
void putRing(std::vector<unsigned char>& out, const QgsLineString& ring) {
    const int n = ring.numPoints();
    const double* x = ring.xData();
    const double* y = ring.yData();
    const bool open = n > 0 && (x[0] != x[n - 1] || y[0] != y[n - 1]);
    put32(out, static_cast<uint32_t>(n + (open ? 1 : 0)));
    putCoordinates(out, x, y, n);
    if (open) {
        putCoordinates(out, x, y, 1);
    }
}

void append(const QgsAbstractGeometry& g, std::vector<unsigned char>& out);

void appendLinear(const QgsAbstractGeometry& g, std::vector<unsigned char>& out) {
    if (const auto* point = qgsgeometry_cast<const QgsPoint*>(&g)) {
        header(out, WkbType::Point);
        const double x = point->x(), y = point->y();
        putCoordinates(out, &x, &y, 1);
    } else if (const auto* line = qgsgeometry_cast<const QgsLineString*>(&g)) {
        header(out, WkbType::LineString);
        putLine(out, *line);
    } else if (const auto* polygon = qgsgeometry_cast<const QgsPolygon*>(&g)) {
        header(out, WkbType::Polygon);
        put32(out, static_cast<uint32_t>(1 + polygon->numInteriorRings()));
        putRing(out, *qgsgeometry_cast<const QgsLineString*>(polygon->exteriorRing()));
        for (int i = 0; i < polygon->numInteriorRings(); ++i) {
            putRing(out, *qgsgeometry_cast<const QgsLineString*>(polygon->interiorRing(i)));
        }
    } else if (const auto* collection = qgsgeometry_cast<const QgsGeometryCollection*>(&g)) {
        WkbType type = WkbType::Collection;
        switch (QgsWkbTypes::flatType(g.wkbType())) {
            case QgsWkbTypes::MultiPoint:
                type = WkbType::MultiPoint;
                break;
            case QgsWkbTypes::MultiLineString:
                type = WkbType::MultiLineString;
                break;
            case QgsWkbTypes::MultiPolygon:
                type = WkbType::MultiPolygon;
                break;
            default:
                break;
        }
        header(out, type);
        put32(out, static_cast<uint32_t>(collection->numGeometries()));
        for (int i = 0; i < collection->numGeometries(); ++i) {
            append(*collection->geometryN(i), out);
        }
    }
}

void append(const QgsAbstractGeometry& g, std::vector<unsigned char>& out) {
    if (g.hasCurvedSegments()) {
        const std::unique_ptr<QgsAbstractGeometry> linear(g.segmentize());
        appendLinear(*linear, out);
    } else {
        appendLinear(g, out);
    }
}

}  // namespace

void appendWkb(const QgsAbstractGeometry& geometry, std::vector<unsigned char>& out) {
    append(geometry, out);
}

}  // namespace bramlotte::qgishost
