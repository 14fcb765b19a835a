#include "map/search/wkb.h"

#include <algorithm>
#include <cmath>

namespace bramlotte::search {
namespace {

struct Bounds {
    Box box;
    bool any = false;
    bool finite = true;
    bool rings = true;  // every polygon ring has three distinct points

    bool points(WkbReader& in, uint32_t n, bool ring = false) {
        if (!in.holdsPoints(n)) {
            return false;
        }
        if (ring) {
            rings = rings && ringBoundsArea(in.position(), n);
        }
        for (uint32_t i = 0; i < n; ++i) {
            double x = 0, y = 0;
            in.point(x, y);
            finite = finite && std::isfinite(x) && std::isfinite(y);
            box.xmin = any ? std::min(box.xmin, x) : x;
            box.xmax = any ? std::max(box.xmax, x) : x;
            box.ymin = any ? std::min(box.ymin, y) : y;
            box.ymax = any ? std::max(box.ymax, y) : y;
            any = true;
        }
        return true;
    }

    bool shape(WkbReader& in) {
        WkbType type{};
        uint32_t n = 0;
        if (!in.header(type)) {
            return false;
        }
        switch (type) {
            case WkbType::Point:
                return points(in, 1);
            case WkbType::LineString:
                return in.count(n) && points(in, n);
            case WkbType::Polygon:
                if (!in.count(n)) {
                    return false;
                }
                for (uint32_t ring = 0; ring < n; ++ring) {
                    uint32_t m = 0;
                    if (!in.count(m) || !points(in, m, true)) {
                        return false;
                    }
                }
                return true;
            case WkbType::MultiPoint:
            case WkbType::MultiLineString:
            case WkbType::MultiPolygon:
            case WkbType::Collection:
                if (!in.count(n)) {
                    return false;
                }
                for (uint32_t part = 0; part < n; ++part) {
                    if (!shape(in)) {
                        return false;
                    }
                }
                return true;
        }
        return false;
    }
};

}  // namespace

host::ShapeFault wkbFault(const unsigned char* wkb, size_t size) {
    WkbReader in(wkb, size);
    Bounds bounds;
    if (!bounds.shape(in)) {
        return host::ShapeFault::Unreadable;
    }
    if (!bounds.finite) {
        return host::ShapeFault::NonFinite;
    }
    return bounds.rings ? host::ShapeFault::None : host::ShapeFault::DegenerateRing;
}

bool ringBoundsArea(const unsigned char* points, uint32_t n) {
    // The first point, then the first unlike it, then the first unlike both:
    // usually found among the first three.
    double x[2] = {0, 0}, y[2] = {0, 0};
    int distinct = 0;
    for (uint32_t i = 0; i < n; ++i) {
        double px = 0, py = 0;
        std::memcpy(&px, points + 16 * static_cast<size_t>(i), 8);
        std::memcpy(&py, points + 16 * static_cast<size_t>(i) + 8, 8);
        bool seen = false;
        for (int k = 0; k < distinct; ++k) {
            seen = seen || (x[k] == px && y[k] == py);
        }
        if (seen) {
            continue;
        }
        if (distinct == 2) {
            return true;
        }
        x[distinct] = px;
        y[distinct] = py;
        ++distinct;
    }
    return false;
}

bool wkbBounds(const unsigned char* wkb, size_t size, Box& box) {
    WkbReader in(wkb, size);
    Bounds bounds;
    if (!bounds.shape(in) || !bounds.any) {
        return false;
    }
    box = bounds.box;
    return true;
}

}  // namespace bramlotte::search
