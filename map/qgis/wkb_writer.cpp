#include "map/qgis/wkb_writer.h"

#include <qgsgeometrycollection.h>
#include <qgslinestring.h>
#include <qgspoint.h>
#include <qgspolygon.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace bramlotte::qgishost {
namespace {

enum WkbType : uint32_t {
    kPoint = 1,
    kLineString = 2,
    kPolygon = 3,
    kMultiPoint = 4,
    kMultiLineString = 5,
    kMultiPolygon = 6,
    kCollection = 7
};

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

void header(std::vector<unsigned char>& out, uint32_t type) {
    out.push_back(1);  // little-endian
    put32(out, type);
}

void putRing(std::vector<unsigned char>& out, const QgsLineString& line) {
    put32(out, static_cast<uint32_t>(line.numPoints()));
    putCoordinates(out, line.xData(), line.yData(), line.numPoints());
}

void append(const QgsAbstractGeometry& g, std::vector<unsigned char>& out);

void appendLinear(const QgsAbstractGeometry& g, std::vector<unsigned char>& out) {
    if (const auto* point = qgsgeometry_cast<const QgsPoint*>(&g)) {
        header(out, kPoint);
        const double x = point->x(), y = point->y();
        putCoordinates(out, &x, &y, 1);
    } else if (const auto* line = qgsgeometry_cast<const QgsLineString*>(&g)) {
        header(out, kLineString);
        putRing(out, *line);
    } else if (const auto* polygon = qgsgeometry_cast<const QgsPolygon*>(&g)) {
        header(out, kPolygon);
        put32(out, static_cast<uint32_t>(1 + polygon->numInteriorRings()));
        putRing(out, *qgsgeometry_cast<const QgsLineString*>(polygon->exteriorRing()));
        for (int i = 0; i < polygon->numInteriorRings(); ++i) {
            putRing(out, *qgsgeometry_cast<const QgsLineString*>(polygon->interiorRing(i)));
        }
    } else if (const auto* collection = qgsgeometry_cast<const QgsGeometryCollection*>(&g)) {
        uint32_t type = kCollection;
        switch (QgsWkbTypes::flatType(g.wkbType())) {
            case QgsWkbTypes::MultiPoint:
                type = kMultiPoint;
                break;
            case QgsWkbTypes::MultiLineString:
                type = kMultiLineString;
                break;
            case QgsWkbTypes::MultiPolygon:
                type = kMultiPolygon;
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

// Walks one geometry of flat little-endian 2D WKB, widening the bounds.
class BoundsReader {
  public:
    BoundsReader(const unsigned char* p, size_t size) : p_(p), end_(p + size) {}
    bool geometry() {
        if (!take(1)) {
            return false;
        }
        uint32_t type = 0;
        if (!read32(type)) {
            return false;
        }
        uint32_t count = 1;
        switch (type) {
            case kPoint:
                return points(1);
            case kLineString:
                return read32(count) && points(count);
            case kPolygon:
                if (!read32(count)) {
                    return false;
                }
                for (uint32_t r = 0; r < count; ++r) {
                    uint32_t n = 0;
                    if (!read32(n) || !points(n)) {
                        return false;
                    }
                }
                return true;
            default:  // collections
                if (!read32(count)) {
                    return false;
                }
                for (uint32_t i = 0; i < count; ++i) {
                    if (!geometry()) {
                        return false;
                    }
                }
                return true;
        }
    }
    bool any = false;
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;

  private:
    bool take(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) {
            return false;
        }
        p_ += n;
        return true;
    }
    bool read32(uint32_t& v) {
        if (static_cast<size_t>(end_ - p_) < 4) {
            return false;
        }
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return true;
    }
    bool points(uint32_t n) {
        if (static_cast<size_t>(end_ - p_) / 16 < n) {
            return false;
        }
        for (uint32_t i = 0; i < n; ++i, p_ += 16) {
            double x, y;
            std::memcpy(&x, p_, 8);
            std::memcpy(&y, p_ + 8, 8);
            xmin = any ? std::min(xmin, x) : x;
            xmax = any ? std::max(xmax, x) : x;
            ymin = any ? std::min(ymin, y) : y;
            ymax = any ? std::max(ymax, y) : y;
            any = true;
        }
        return true;
    }
    const unsigned char* p_;
    const unsigned char* end_;
};

}  // namespace

bool wkbBounds(const unsigned char* wkb, size_t size, double& xmin, double& ymin, double& xmax,
               double& ymax) {
    BoundsReader r(wkb, size);
    if (!r.geometry() || !r.any) {
        return false;
    }
    xmin = r.xmin;
    ymin = r.ymin;
    xmax = r.xmax;
    ymax = r.ymax;
    return true;
}

void appendWkb(const QgsAbstractGeometry& geometry, std::vector<unsigned char>& out) {
    append(geometry, out);
}

}  // namespace bramlotte::qgishost
